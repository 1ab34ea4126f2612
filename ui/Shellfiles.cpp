#include "ui/Shellfiles.h"

#include "app/Controlworks.h"
#include "extract/Extractthread.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStandardPaths>

#include <vector>

#include <unistd.h>

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
    const QString uid = QString::number(::getuid());
    return canonical.endsWith(QStringLiteral("/.Trash-") + uid + QStringLiteral("/files"))
        || canonical.endsWith(QStringLiteral("/.Trash/") + uid + QStringLiteral("/files"));
}

struct CopyJob {
    QString from;
    QString to;
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
            jobs.push_back({entry.filePath(), to});
    }
}

enum class ReplaceAnswer { yes, yes_to_all, no, cancel };

ReplaceAnswer ask_replace(QWidget* owner, const QString& target)
{
    const auto answer = QMessageBox::question(
        owner, ui_text(shell_text::replace_caption), ui_text(shell_text::replace_question).arg(target),
        QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);
    switch (answer) {
    case QMessageBox::Yes: return ReplaceAnswer::yes;
    case QMessageBox::YesToAll: return ReplaceAnswer::yes_to_all;
    case QMessageBox::No: return ReplaceAnswer::no;
    default: return ReplaceAnswer::cancel;
    }
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

CopyOutcome copy_into_folder(const QStringList& sources, const QString& destination, QWidget* owner)
{
    std::vector<CopyJob> jobs;
    QStringList folders{destination};
    for (const QString& source : sources) {
        const QFileInfo info(source);
        const QString target = destination + QLatin1Char('/') + info.fileName();
        if (info.isDir() && !info.isSymLink())
            collect_folder(info.absoluteFilePath(), target, jobs, folders);
        else if (info.exists())
            jobs.push_back({info.absoluteFilePath(), target});
    }

    CopyOutcome outcome;
    for (const QString& folder : folders)
        QDir().mkpath(folder);

    QProgressDialog progress(ui_text(shell_text::copy_progress), ui_text(shell_text::cancel), 0,
                             static_cast<int>(jobs.size()), owner);
    progress.setWindowTitle(ui_text(shell_text::copy_caption));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    bool replace_all = false;
    int done = 0;
    for (const CopyJob& job : jobs) {
        progress.setValue(done++);
        if (progress.wasCanceled()) {
            outcome.cancelled = true;
            break;
        }
        if (!replace_all && path_present(job.to)) {
            const ReplaceAnswer answer = ask_replace(owner, job.to);
            if (answer == ReplaceAnswer::cancel) {
                outcome.cancelled = true;
                break;
            }
            if (answer == ReplaceAnswer::no)
                continue;
            replace_all = answer == ReplaceAnswer::yes_to_all;
        }
        if (QFileInfo(job.from).canonicalFilePath() == QFileInfo(job.to).canonicalFilePath())
            continue; // a file copied onto itself is already there
        try {
            copy_file_replacing(job.from.toStdString(), job.to.toStdString());
        }
        catch (const std::exception& error) {
            outcome.failures << job.from + QStringLiteral(": ") + QString::fromStdString(lib::io::describe_error(error));
        }
    }
    progress.setValue(static_cast<int>(jobs.size()));
    return outcome;
}
