// Copying: "Копировать в..." of the unpacked-data panel and files dropped on the window.
#include "ui/Main.h"

#include "ui/Controlworks.h"
#include "ui/Shellfiles.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

QString without_final_slash(QString folder)
{
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

bool inside(const QString& path, const QString& folder)
{
    const QString a = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString b = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    return a == b || a.startsWith(b.endsWith(QLatin1Char('/')) ? b : b + QLatin1Char('/'));
}

} // namespace

QString TDravinexMainForm::copy_start_folder(const QString& last_target, const QString& copied_folder)
{
    // Opening inside the copied folder made a quick "Choose" copy a well into itself.
    if (!last_target.isEmpty() && QFileInfo(last_target).isDir() && !inside(last_target, copied_folder))
        return last_target;
    const QString home = QDir::homePath();
    if (!inside(home, copied_folder))
        return home;
    return QFileInfo(without_final_slash(copied_folder)).absolutePath();
}

void TDravinexMainForm::tbtnCopyToClick()
{
    const TREE_NODE* node = selected_node();
    if (node == nullptr)
        return;
    const QString folder = without_final_slash(QString::fromStdString(node->folder));
    const QString target = QFileDialog::getExistingDirectory(this, ui_text(main_text::copy_to_title),
                                                             copy_start_folder(last_copy_target_, folder),
                                                             QFileDialog::ShowDirsOnly);
    if (target.isEmpty())
        return;
    shell_copy({folder}, target);
}

void TDravinexMainForm::shell_copy(const QStringList& paths, const QString& destination, std::function<void()> then)
{
    const QString target = without_final_slash(destination);
    const QString refusal = copy_refusal(paths, target);
    if (!refusal.isEmpty()) {
        add_journal_line(ui_text(shell_text::copy_refused) + refusal.simplified());
        QMessageBox box(QMessageBox::Warning, ui_text(shell_text::copy_caption), refusal, QMessageBox::Ok, this);
        set_russian_button_texts(box);
        box.exec();
        return;
    }
    // One copy at a time: the window takes no input while one runs.
    if (copy_task_.running())
        return;
    last_copy_target_ = target;
    set_input_enabled(false);
    // The progress window goes with the copy; its connections go with it.
    auto* progress = new CopyProgress(this);
    connect(&copy_task_, &background::Job::status, progress, &CopyProgress::set_status);
    connect(&copy_task_, &background::Job::progress, progress, &CopyProgress::set_percent);
    connect(&copy_task_, &background::Job::asked, progress, [progress](const std::shared_ptr<background::Query>& query) {
        if (!query->answered())
            query->answer(progress->ask_replace(*query));
    });
    connect(progress, &CopyProgress::cancel_asked, &copy_task_, &background::Job::cancel);
    copy_task_.start_with_result(
        [paths, target](background::JobContext& context) { return copy_into_folder(paths, target, context); },
        [this, progress, target, then = std::move(then)](const CopyOutcome& outcome) {
            delete progress;
            for (const QString& failure : outcome.failures)
                add_journal_line(ui_text(shell_text::copy_failed) + failure);
            add_journal_line(copy_summary(outcome, target));
            set_input_enabled(true);
            QApplication::setActiveWindow(this);
            if (then && !close_pending_)
                then();
        });
}
