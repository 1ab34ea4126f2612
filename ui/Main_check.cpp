// "Проверить хранилище": the store check of the command line's verify, run off the GUI
// thread; the window stays usable and the journal receives the report when it is done.

#include "ui/Main.h"

#include "app/Configuration.h"
#include "app/Controlworks.h"
#include "catalogue/Store_check.h"
#include "lib/Sys_utils.h"
#include "storage/Merge_index.h"

#include <QAction>
#include <QThread>

void TDravinexMainForm::check_store_click()
{
    if (check_thread_)
        return;
    const std::string root = configuration().to_path;
    // The merges keep their index beside the temporary folder of the runs.
    const std::string index = lib::folder_of(folders_.temp_dir) + storage::MergeIndex::file_name;
    add_journal_line(ui_text(main_text::check_started) + QString::fromStdString(root));
    mnuCheckStore->setEnabled(false);
    check_thread_ = QThread::create([this, root, index] {
        QStringList lines;
        try {
            const catalogue::StoreReport report = catalogue::check_store(root, index, false);
            for (const catalogue::StoreFinding& finding : report.findings)
                lines << QStringLiteral("    ") + QString::fromStdString(catalogue::describe_finding(finding));
            lines << ui_text(main_text::check_done) + QString::number(report.data_files)
                         + ui_text(main_text::check_found) + QString::number(report.findings.size());
        }
        catch (const std::exception& error) {
            lines << ui_text(main_text::check_failed) + QString::fromStdString(error.what());
        }
        QMetaObject::invokeMethod(this, [this, lines] { store_check_finished(lines); }, Qt::QueuedConnection);
    });
    check_thread_->setParent(this);
    check_thread_->start();
}

void TDravinexMainForm::store_check_finished(const QStringList& lines)
{
    for (const QString& line : lines)
        add_journal_line(line);
    check_thread_->wait();
    check_thread_->deleteLater();
    check_thread_ = nullptr;
    mnuCheckStore->setEnabled(true);
}
