#include "ui/Shellfiles.h"

#include "ui/Controlworks.h"
#include "lib/io/Binary_io.h"
#include "lib/io/File_placement.h"
#include "platform/Process.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>
#include <vector>

namespace {


bool path_present(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Qt falls back to odd places when the home trash is missing, so it is made first.
QString home_trash()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    const QString trash = data + QStringLiteral("/Trash");
    if (!QDir().mkpath(trash + QStringLiteral("/files")) || !QDir().mkpath(trash + QStringLiteral("/info")))
        return {};
    return trash;
}

// Undoes a move that Qt reported as done but that did not reach a trash: the file goes back
// where the user left it, and the description Qt wrote beside it is removed.
void undo_stray_move(const QString& path, const QString& path_in_trash)
{
    if (path_present(path_in_trash) && !path_present(path))
        QFile::rename(path_in_trash, path);
    const QFileInfo moved(path_in_trash);
    QFile::remove(moved.absolutePath() + QStringLiteral("/../info/") + moved.fileName() + QStringLiteral(".trashinfo"));
}

// The places a freedesktop trash keeps its files: the home trash, or a volume's own.
bool inside_a_trash(const QString& path_in_trash, const QString& home)
{
    const QString canonical = QFileInfo(path_in_trash).absolutePath();
    if (!home.isEmpty() && canonical == QFileInfo(home + QStringLiteral("/files")).absoluteFilePath())
        return true;
    const QString uid = QString::number(platform::current_user_id());
    return canonical.endsWith(QStringLiteral("/.Trash-") + uid + QStringLiteral("/files"))
        || canonical.endsWith(QStringLiteral("/.Trash/") + uid + QStringLiteral("/files"));
}

struct CopyJob {
    QString from;
    QString to;
    qint64 size = 0;
};

void collect_folder(const QString& folder, const QString& target, std::vector<CopyJob>& jobs, QStringList& folders)
{
    folders << target;
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QStringList names;
    while (entries.hasNext()) {
        entries.next();
        names << entries.fileName();
    }
    names.sort();
    for (const QString& name : names) {
        const QFileInfo entry(folder + QLatin1Char('/') + name);
        const QString to = target + QLatin1Char('/') + name;
        // A link to a folder is not followed: it could lead out of the folder or in circles.
        if (entry.isDir() && !entry.isSymLink())
            collect_folder(entry.filePath(), to, jobs, folders);
        else if (entry.isFile())
            jobs.push_back({entry.filePath(), to, entry.size()});
    }
}

// An absolute path with its existing part resolved through links, so that two spellings of
// one folder compare equal even when the end of the path does not exist yet.
QString resolved_path(const QString& path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString rest;
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        const qsizetype slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        rest = existing.mid(slash) + rest;
        existing.truncate(slash);
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    return QDir::cleanPath((canonical.isEmpty() ? existing : canonical) + rest);
}

bool same_or_below(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

// Whether a job's file is written: an existing one only after the user agrees.
enum class JobStep { copy, keep, stop };

JobStep step_for(const CopyJob& job, background::JobContext& context, bool& replace_all)
{
    // A file copied onto itself is already there; asking to replace it makes no sense.
    if (QFileInfo(job.from).canonicalFilePath() == QFileInfo(job.to).canonicalFilePath())
        return JobStep::keep;
    if (replace_all || !path_present(job.to))
        return JobStep::copy;
    const auto question = std::make_shared<background::Query>(
        ui_text(shell_text::replace_caption), ui_text(shell_text::replace_question).arg(job.to), QMessageBox::Cancel);
    switch (context.ask(question)) {
    case QMessageBox::Yes: return JobStep::copy;
    case QMessageBox::YesToAll: replace_all = true; return JobStep::copy;
    case QMessageBox::No: return JobStep::keep;
    default: break;
    }
    return JobStep::stop;
}

void copy_jobs(const std::vector<CopyJob>& jobs, qint64 total_bytes, background::JobContext& context, CopyOutcome& outcome)
{
    bool replace_all = false;
    qint64 bytes_done = 0;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const CopyJob& job = jobs[i];
        const JobStep step = context.cancelled() ? JobStep::stop : step_for(job, context, replace_all);
        if (step == JobStep::stop) {
            outcome.cancelled = true;
            outcome.first_left = job.from;
            return;
        }
        if (step == JobStep::keep) {
            ++outcome.kept;
        }
        else {
            try {
                lib::io::copy_file_replacing(job.from.toStdString(), job.to.toStdString());
                ++outcome.copied;
                outcome.bytes += job.size;
            }
            catch (const std::exception& error) {
                outcome.failures << job.from + QStringLiteral(": ") + QString::fromStdString(lib::io::describe_error(error));
            }
        }
        bytes_done += job.size;
        context.progress(total_bytes > 0 ? static_cast<int>(bytes_done * 100 / total_bytes) : 100);
        context.status(ui_text(shell_text::copy_progress)
                       + QStringLiteral(" %1 / %2").arg(static_cast<qsizetype>(i + 1)).arg(jobs.size()));
    }
}

constexpr int progress_after_ms = 300;

QString size_text(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 байт").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 КБ").arg((bytes + 1023) / 1024);
    return QStringLiteral("%1 МБ").arg(static_cast<double>(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

} // namespace

QString move_to_trash(const QString& path)
{
    if (!path_present(path))
        return ui_text(shell_text::no_file);
    // Without a home trash Qt would "move to the trash" into the current folder.
    const QString trash = home_trash();
    if (trash.isEmpty())
        return ui_text(shell_text::no_trash);
    QString path_in_trash;
    if (!QFile::moveToTrash(path, &path_in_trash))
        return path_present(path) ? ui_text(shell_text::no_trash) : ui_text(shell_text::not_moved);
    if (path_in_trash.isEmpty() || inside_a_trash(path_in_trash, trash))
        return {};
    undo_stray_move(path, path_in_trash);
    return ui_text(shell_text::no_trash);
}

QString copy_refusal(const QStringList& sources, const QString& destination)
{
    const QString target = resolved_path(destination);
    for (const QString& source : sources) {
        const QFileInfo info(source);
        if (!info.isDir() || info.isSymLink())
            continue;
        const QString folder = resolved_path(source);
        if (same_or_below(target, folder))
            return ui_text(shell_text::copy_into_itself).arg(source, destination);
    }
    return {};
}

CopyOutcome copy_into_folder(const QStringList& sources, const QString& destination, background::JobContext& context)
{
    CopyOutcome outcome;
    std::vector<CopyJob> jobs;
    QStringList folders{destination};
    for (const QString& source : sources) {
        const QFileInfo info(source);
        const QString target = destination + QLatin1Char('/') + info.fileName();
        if (info.isDir() && !info.isSymLink())
            collect_folder(info.absoluteFilePath(), target, jobs, folders);
        else if (info.exists())
            jobs.push_back({info.absoluteFilePath(), target, info.size()});
    }
    qint64 bytes = 0;
    for (const CopyJob& job : jobs)
        bytes += job.size;
    outcome.total = static_cast<int>(jobs.size());
    for (const QString& folder : folders)
        QDir().mkpath(folder);
    copy_jobs(jobs, bytes, context, outcome);
    return outcome;
}

CopyProgress::CopyProgress(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(ui_text(shell_text::copy_caption));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    label_ = new QLabel(ui_text(shell_text::copy_progress));
    layout->addWidget(label_);
    bar_ = new QProgressBar;
    bar_->setRange(0, 100);
    layout->addWidget(bar_);
    auto* cancel = new QPushButton(ui_text(shell_text::cancel));
    layout->addWidget(cancel, 0, Qt::AlignRight);
    connect(cancel, &QPushButton::clicked, this, &CopyProgress::cancel_asked);
    resize(420, sizeHint().height());
    // Shown only when the copy lasts, and never over an open question.
    QTimer::singleShot(progress_after_ms, this, [this] {
        due_ = true;
        if (!asking_)
            show();
    });
}

void CopyProgress::set_status(const QString& text)
{
    label_->setText(text);
}

void CopyProgress::set_percent(int percent)
{
    bar_->setValue(percent);
}

int CopyProgress::ask_replace(const background::Query& question)
{
    // The question owns the screen until it is answered; the copy waits for it.
    asking_ = true;
    hide();
    const QMessageBox::StandardButton answer =
        ask_question(parentWidget(), question.caption(), question.text(),
                     QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);
    asking_ = false;
    if (due_)
        show();
    return answer;
}

void CopyProgress::reject()
{
    emit cancel_asked();
}

QString copy_summary(const CopyOutcome& outcome, const QString& destination)
{
    QString line;
    if (outcome.cancelled) {
        const int left = outcome.total - outcome.copied - outcome.kept - static_cast<int>(outcome.failures.size());
        line = ui_text(shell_text::copy_stopped)
                   .arg(destination)
                   .arg(outcome.copied)
                   .arg(outcome.total)
                   .arg(size_text(outcome.bytes))
                   .arg(left);
        if (!outcome.first_left.isEmpty())
            line += ui_text(shell_text::copy_next_left).arg(outcome.first_left);
    }
    else {
        line = ui_text(shell_text::copy_done).arg(destination).arg(outcome.copied).arg(size_text(outcome.bytes));
    }
    if (outcome.kept > 0)
        line += ui_text(shell_text::copy_kept).arg(outcome.kept);
    if (!outcome.failures.isEmpty())
        line += ui_text(shell_text::copy_not_copied).arg(outcome.failures.size());
    return line;
}
