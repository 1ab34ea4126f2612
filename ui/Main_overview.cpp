// "Обзор скважин": the overview of the store's wells, built off the GUI thread after every
// rebuild of the tree, shown in its own window and as marks on the tree's silent wells.

#include "ui/Main.h"

#include "settings/Configuration.h"
#include "ui/Controlworks.h"
#include "lib/Sys_utils.h"
#include "ui/Overview.h"

#include <QAction>
#include <QHash>
#include <QAbstractItemModel>
#include <QStyle>
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
    if (overview_task_.running()) {
        overview_again_ = true;
        return;
    }
    catalogue::OverviewRequest request;
    request.data_root = configuration().to_path;
    // The merge index and the overview's notes lie beside the temporary folder of the runs.
    request.state_folder = folders_.state;
    request.older_than_hours = configuration().silence_hours;
    if (overview_)
        overview_->show_loading();
    overview_task_.start_with_result(
        [request, retired = std::exchange(retired_items_, {})](background::JobContext&) {
            // Items a rebuild of the tree took out of the view, freed away from it.
            qDeleteAll(retired);
            std::vector<catalogue::WellOverviewRow> rows;
            try {
                rows = catalogue::build_overview(request);
            }
            catch (const std::exception&) {
                // Out of memory or the like: the view stays empty; the next rebuild tries again.
            }
            return rows;
        },
        [this, hours = request.older_than_hours](std::vector<catalogue::WellOverviewRow> rows) {
            overview_finished(std::move(rows), hours);
        });
}

namespace {

// The silent wells of an overview, by folder, with the tip their mark shows.
QHash<QString, QString> silent_wells(const std::vector<catalogue::WellOverviewRow>& rows, int hours)
{
    QHash<QString, QString> marks;
    for (const catalogue::WellOverviewRow& row : rows) {
        if (row.old)
            marks.insert(QString::fromStdString(row.folder), row.age ? ui_text(main_text::silent_well_tip).arg(hours)
                                                                     : ui_text(main_text::no_data_well_tip));
    }
    return marks;
}

} // namespace

void TDravinexMainForm::overview_finished(std::vector<catalogue::WellOverviewRow> rows, int hours)
{
    overview_rows_ = std::move(rows);
    overview_hours_ = hours;
    mark_tree_wells(silent_wells(overview_rows_, overview_hours_));
    if (overview_)
        overview_->show_rows(overview_rows_, overview_hours_);
    if (std::exchange(overview_again_, false))
        refresh_overview();
}

// A silent well carries the view's colour, a warning sign instead of its folder image and
// a tip that says why, so that the mark reads without colour too. Only the wells whose mark
// changed are touched, quietly, and the tree is repainted once: after the first overview
// of a large store that may be every well.
void TDravinexMainForm::mark_tree_wells(const QHash<QString, QString>& marks)
{
    const TreeMarkLook look{style()->standardIcon(QStyle::SP_MessageBoxWarning), imBrouser[0], silent_well_colour()};
    QAbstractItemModel* model = Tree->model();
    const bool blocked = model->blockSignals(true);
    for (auto old = well_marks_.cbegin(); old != well_marks_.cend(); ++old) {
        if (!marks.contains(old.key()))
            if (QTreeWidgetItem* item = tree_items_.value(old.key()))
                set_well_mark(*item, look, nullptr);
    }
    for (auto mark = marks.cbegin(); mark != marks.cend(); ++mark) {
        const auto old = well_marks_.constFind(mark.key());
        if (old != well_marks_.cend() && *old == *mark)
            continue;
        QTreeWidgetItem* item = tree_items_.value(mark.key());
        if (item != nullptr && item->data(0, tree_kind_role).toInt() == node_well)
            set_well_mark(*item, look, &*mark);
    }
    model->blockSignals(blocked);
    well_marks_ = marks;
    Tree->viewport()->update();
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
