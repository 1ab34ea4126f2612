// "Обзор скважин": the overview of the store's wells, built off the GUI thread after every
// rebuild of the tree, shown in its own window and as marks on the tree's silent wells.

#include "ui/Main.h"

#include "settings/Configuration.h"
#include "ui/Controlworks.h"
#include "lib/Sys_utils.h"
#include "ui/Overview.h"

#include <QAction>
#include <QHash>
#include <QStyle>
#include <QThread>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

void TDravinexMainForm::overview_click()
{
    if (!overview_) {
        overview_ = new TOverviewForm(this);
        connect(overview_, &TOverviewForm::refresh_asked, this, &TDravinexMainForm::refresh_overview);
        connect(overview_, &TOverviewForm::well_chosen, this, [this](const QString& folder) {
            if (select_well(folder)) {
                raise();
                activateWindow();
            }
        });
    }
    if (overview_running())
        overview_->show_loading();
    else
        overview_->show_rows(overview_rows_, overview_hours_);
    overview_->show();
    overview_->raise();
    overview_->activateWindow();
    refresh_overview();
}

void TDravinexMainForm::refresh_overview()
{
    // Asked again while one runs (F5 meanwhile): the store is read once more afterwards.
    if (overview_thread_) {
        overview_again_ = true;
        return;
    }
    catalogue::OverviewRequest request;
    request.data_root = configuration().to_path;
    // The merge index and the overview's notes lie beside the temporary folder of the runs.
    request.home_folder = lib::folder_of(folders_.temp_dir);
    request.older_than_hours = configuration().silence_hours;
    if (overview_)
        overview_->show_loading();
    overview_thread_ = QThread::create([this, request] {
        std::vector<catalogue::WellOverviewRow> rows;
        try {
            rows = catalogue::build_overview(request);
        }
        catch (const std::exception&) {
            // Out of memory or the like: the view stays empty; the next rebuild tries again.
        }
        QMetaObject::invokeMethod(
            this, [this, rows = std::move(rows), hours = request.older_than_hours]() mutable {
                overview_finished(std::move(rows), hours);
            },
            Qt::QueuedConnection);
    });
    overview_thread_->setParent(this);
    overview_thread_->start();
}

void TDravinexMainForm::overview_finished(std::vector<catalogue::WellOverviewRow> rows, int hours)
{
    overview_thread_->wait();
    overview_thread_->deleteLater();
    overview_thread_ = nullptr;
    overview_rows_ = std::move(rows);
    overview_hours_ = hours;
    mark_tree_wells();
    if (overview_)
        overview_->show_rows(overview_rows_, overview_hours_);
    if (std::exchange(overview_again_, false))
        refresh_overview();
}

// A silent well carries the view's colour, a warning sign instead of its folder image and
// a tip that says why, so that the mark reads without colour too.
void TDravinexMainForm::mark_tree_wells()
{
    QHash<QString, const catalogue::WellOverviewRow*> by_folder;
    for (const catalogue::WellOverviewRow& row : overview_rows_)
        by_folder.insert(QString::fromStdString(row.folder), &row);
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (QTreeWidgetItemIterator it(Tree); *it; ++it) {
        QTreeWidgetItem* item = *it;
        if (item->data(0, tree_kind_role).toInt() != node_well)
            continue;
        const catalogue::WellOverviewRow* row = by_folder.value(item->data(0, tree_folder_role).toString());
        const bool silent = row != nullptr && row->old;
        item->setBackground(0, silent ? QBrush(silent_well_colour()) : QBrush());
        item->setIcon(0, silent ? warning : imBrouser[0]);
        item->setToolTip(0, !silent ? QString()
                            : row->age ? ui_text(main_text::silent_well_tip).arg(overview_hours_)
                                       : ui_text(main_text::no_data_well_tip));
        item->setData(0, Qt::AccessibleDescriptionRole, silent ? QString::fromStdString(catalogue::mark_text(*row)) : QString());
    }
}

bool TDravinexMainForm::select_well(const QString& folder)
{
    for (QTreeWidgetItemIterator it(Tree); *it; ++it) {
        QTreeWidgetItem* item = *it;
        if (item->data(0, tree_kind_role).toInt() != node_well || item->data(0, tree_folder_role).toString() != folder)
            continue;
        for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent())
            up->setExpanded(true);
        Tree->setCurrentItem(item);
        Tree->scrollToItem(item);
        return true;
    }
    return false;
}
