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

// The wells whose mark differs between two sets of marks, each with its new tip or none.
TreeMarkChanges tree_mark_changes(const QHash<QString, QString>& from, const QHash<QString, QString>& to)
{
    TreeMarkChanges changes;
    if (from.isSharedWith(to))
        return changes;
    for (auto old = from.cbegin(); old != from.cend(); ++old) {
        if (!to.contains(old.key()))
            changes.emplace_back(old.key(), std::nullopt);
    }
    for (auto mark = to.cbegin(); mark != to.cend(); ++mark) {
        const auto old = from.constFind(mark.key());
        if (old == from.cend() || *old != *mark)
            changes.emplace_back(mark.key(), *mark);
    }
    return changes;
}

} // namespace

// What an overview hands to the GUI thread: its rows, and the tree's marks worked out beside
// them, so that thousands of silent wells cost the GUI thread only the marks that changed.
struct TDravinexMainForm::OverviewResult {
    std::vector<catalogue::WellOverviewRow> rows;
    int hours = 0;
    QHash<QString, QString> marks_from; // the marks the changes were worked out from
    std::optional<QHash<QString, QString>> marks; // none when they equal marks_from
    TreeMarkChanges changes;
};

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
        [request, retired = std::exchange(retired_items_, {}), retired_rows = std::exchange(retired_rows_, {}),
         marks_from = well_marks_](background::JobContext&) mutable {
            // Items a rebuild of the tree took out of the view, and the rows of the last
            // overview, freed away from it.
            qDeleteAll(retired);
            retired_rows = {};
            OverviewResult result;
            try {
                result.rows = catalogue::build_overview(request);
            }
            catch (const std::exception&) {
                // Out of memory or the like: the view stays empty; the next rebuild tries again.
            }
            result.hours = request.older_than_hours;
            QHash<QString, QString> marks = silent_wells(result.rows, result.hours);
            result.changes = tree_mark_changes(marks_from, marks);
            if (!result.changes.empty())
                result.marks = std::move(marks);
            result.marks_from = marks_from;
            return result;
        },
        [this](OverviewResult result) { overview_finished(result); });
}

void TDravinexMainForm::overview_finished(OverviewResult& result)
{
    // The old rows are freed by the next overview, on its thread.
    retired_rows_ = std::exchange(overview_rows_, std::move(result.rows));
    overview_hours_ = result.hours;
    if (well_marks_.isSharedWith(result.marks_from)) {
        if (result.marks)
            mark_tree_wells(std::move(*result.marks), result.changes);
    }
    else {
        // The marks changed since the overview started (a rebuild of the tree between).
        mark_tree_wells(result.marks ? *result.marks : result.marks_from);
    }
    if (overview_)
        overview_->show_rows(overview_rows_, overview_hours_);
    if (std::exchange(overview_again_, false))
        refresh_overview();
}

void TDravinexMainForm::mark_tree_wells(const QHash<QString, QString>& marks)
{
    mark_tree_wells(marks, tree_mark_changes(well_marks_, marks));
}

// A silent well carries the view's colour, a warning sign instead of its folder image and
// a tip that says why, so that the mark reads without colour too. Only the wells whose mark
// changed are touched, quietly, and the tree is repainted once: after the first overview
// of a large store that may be every well. A well without an item yet takes its mark when
// it is made.
void TDravinexMainForm::mark_tree_wells(QHash<QString, QString> marks, const TreeMarkChanges& changes)
{
    const TreeMarkLook look{style()->standardIcon(QStyle::SP_MessageBoxWarning), imBrouser[0], silent_well_colour()};
    QAbstractItemModel* model = Tree->model();
    const bool blocked = model->blockSignals(true);
    for (const auto& [folder, tip] : changes) {
        QTreeWidgetItem* item = tree_items_.value(folder);
        if (item != nullptr && item->data(0, tree_kind_role).toInt() == node_well)
            set_well_mark(*item, look, tip ? &*tip : nullptr);
    }
    model->blockSignals(blocked);
    well_marks_ = std::move(marks);
    if (!changes.empty())
        Tree->viewport()->update();
}

bool TDravinexMainForm::select_well(const QString& folder)
{
    QTreeWidgetItem* item = tree_item(folder);
    if (item == nullptr || item->data(0, tree_kind_role).toInt() != node_well)
        return false;
    for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent())
        up->setExpanded(true);
    Tree->setCurrentItem(item);
    Tree->scrollToItem(item);
    return true;
}
