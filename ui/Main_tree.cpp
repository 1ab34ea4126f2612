// The unpacked-data panel: the store's tree of areas and wells, the selected well's files,
// opening a file, copying and deleting unpacked data, clearing the cache.
#include "ui/Main.h"

#include "settings/Configuration.h"
#include "ui/Controlworks.h"
#include "lib/Fileworks.h"
#include "lib/Sys_utils.h"
#include "lib/Strworks.h"
#include "platform/File.h"
#include "storage/Data_file.h"
#include "storage/Data_file_kinds.h"
#include "ui/Fileopener.h"
#include "ui/Gridworks.h"
#include "ui/Overview.h"
#include "ui/Shellfiles.h"
#include "ui/viewer/Log_viewer.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSet>
#include <QStyle>
#include <QTableView>
#include <QTreeWidget>
#include <QUrl>

#include <filesystem>
#include <future>

namespace {

// A tree item owns the record of the folder it stands for, so deleting the item releases it.
class TreeItem : public QTreeWidgetItem {
public:
    explicit TreeItem(TREE_NODE node) : node(std::move(node)) {}
    TREE_NODE node;
    // An area's wells that have no item yet: a store of thousands of wells shows only the
    // areas, and an area's wells are made when it unfolds or one of them is looked for.
    std::vector<std::string> unmade_wells;
};

// Makes the tree's items with their look, a silent well marked from `marks`, and notes each
// one in `items` by folder (the overview finds its wells there). Used on the scan's thread
// for what the tree shows at once, and on the GUI thread for an area's wells later.
class TreeItemMaker {
public:
    TreeItemMaker(const TreeMarkLook& look, const QHash<QString, QString>& marks, QHash<QString, QTreeWidgetItem*>& items)
        : look_(look), marks_(marks), items_(items)
    {
    }

    std::unique_ptr<TreeItem> make(const QString& caption, TREE_NODE node)
    {
        auto item = std::make_unique<TreeItem>(std::move(node));
        const QString folder = QString::fromStdString(item->node.folder);
        item->setText(0, caption);
        item->setData(0, tree_folder_role, folder);
        item->setData(0, tree_kind_role, item->node.kind);
        const auto mark = item->node.kind == node_well ? marks_.constFind(folder) : marks_.constEnd();
        if (mark != marks_.constEnd())
            set_well_mark(*item, look_, &*mark);
        else
            item->setIcon(0, look_.folder);
        items_.insert(folder, item.get());
        return item;
    }

    // An area whose wells wait shows the sign that it unfolds.
    std::unique_ptr<TreeItem> make_area(STORE_AREA area, const std::string& data_folder)
    {
        auto item = make(area_prefix_ + QString::fromStdString(area.name), {node_area, data_folder + area.name + '/'});
        item->unmade_wells = std::move(area.wells);
        if (!item->unmade_wells.empty())
            item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        return item;
    }

    // Gives the area its wells' items, in one insertion when the area is in a view.
    void make_wells(TreeItem& area)
    {
        if (area.unmade_wells.empty())
            return;
        QList<QTreeWidgetItem*> wells;
        wells.reserve(static_cast<qsizetype>(area.unmade_wells.size()));
        for (const std::string& name : std::exchange(area.unmade_wells, {}))
            wells.push_back(make(well_prefix_ + QString::fromStdString(name), {node_well, area.node.folder + name + '/'}).release());
        area.addChildren(wells);
        area.setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }

private:
    const TreeMarkLook& look_;
    const QHash<QString, QString>& marks_;
    QHash<QString, QTreeWidgetItem*>& items_;
    const QString area_prefix_ = QString::fromUtf8(catalogue_text::area_caption_prefix);
    const QString well_prefix_ = QString::fromUtf8(catalogue_text::well_caption_prefix);
};

// The folder of the area a well's folder lies in ("/store/area/" of "/store/area/well/").
QString area_folder_of(const QString& well_folder)
{
    return well_folder.left(well_folder.lastIndexOf(QLatin1Char('/'), -2) + 1);
}

// The file grid's cells of a well's files.
std::vector<FileGridModel::Row> grid_cells(const std::vector<PORE_FILES>& files)
{
    std::vector<FileGridModel::Row> cells;
    cells.reserve(std::max<std::size_t>(files.size(), 1));
    for (const PORE_FILES& file : files) {
        const QString run = file.run_number < 0 ? QStringLiteral(" ---") : QStringLiteral(" %1").arg(file.run_number);
        cells.push_back({run, QLatin1Char(' ') + QString::fromStdString(file.file_name),
                         QLatin1Char(' ') + QString::fromStdString(file.caption)});
    }
    // A node without files still shows one blank row.
    if (files.empty())
        cells.push_back({});
    return cells;
}

} // namespace

// A well's mark, or its plain look without one; no view is told, as the items are new or
// the caller repaints once.
void set_well_mark(QTreeWidgetItem& item, const TreeMarkLook& look, const QString* tip)
{
    const bool silent = tip != nullptr;
    item.setBackground(0, silent ? QBrush(look.colour) : QBrush());
    item.setIcon(0, silent ? look.warning : look.folder);
    item.setToolTip(0, silent ? *tip : QString());
    item.setData(0, Qt::AccessibleDescriptionRole, silent ? QString::fromUtf8(catalogue::overview_text::silent) : QString());
}

// What a scan hands to the GUI thread: the new items, and the files of the well that was
// selected, listed beside the scan.
struct TDravinexMainForm::ScannedTree {
    std::unique_ptr<QTreeWidgetItem> root;
    QHash<QString, QTreeWidgetItem*> items;
    QHash<QString, QString> marks; // the silent wells the items were marked by
    // The selected well's files when they differ from those on show, with their cells.
    std::optional<std::vector<PORE_FILES>> files;
    std::vector<FileGridModel::Row> cells;
};

// Where the user was, unless the tree shows only the line of a scan going on.
void TDravinexMainForm::remember_tree_place()
{
    if (tree_items_.isEmpty())
        return;
    tree_expanded_.clear();
    for (auto it = tree_items_.cbegin(); it != tree_items_.cend(); ++it)
        if (it.value()->childCount() > 0 && it.value()->isExpanded())
            tree_expanded_.insert(it.key());
    const QTreeWidgetItem* current = Tree->currentItem();
    tree_current_ = current != nullptr ? current->data(0, tree_folder_role).toString() : QString();
    tree_current_well_ = current != nullptr && current->data(0, tree_kind_role).toInt() == node_well;
}

void TDravinexMainForm::rebuild_tree()
{
    // A rebuild asked for while one is reading the store (F5 pressed meanwhile) reads it
    // again once the first is done.
    if (tree_task_.running()) {
        tree_rescan_ = true;
        return;
    }
    tree_rescan_ = false;
    remember_tree_place();
    // The old items leave the view in one step; the overview that follows the scan frees
    // them on its thread.
    tree_items_.clear();
    retired_items_ += Tree->invisibleRootItem()->takeChildren();
    // The files stay on show, without their actions, until the scan says whether their well
    // is still there: unchanged, as is usual, they cost the GUI thread nothing.
    set_file_actions_enabled(false);
    Tree->addTopLevelItem(new QTreeWidgetItem(QStringList{ui_text(main_text::reading_store)}));

    const TreeMarkLook look{style()->standardIcon(QStyle::SP_MessageBoxWarning), imBrouser[0], silent_well_colour()};
    const std::string selected_well = tree_current_well_ ? tree_current_.toStdString() : std::string();
    const QString selected_area = tree_current_well_ ? area_folder_of(tree_current_) : QString();
    tree_task_.start_with_result(
        [folder = configuration().to_path, look, marks = well_marks_, expanded = tree_expanded_, selected_area,
         selected_well, shown = shown_files_](background::JobContext&) {
            // The selected well's files are listed on a thread of their own beside the scan.
            std::future<std::vector<PORE_FILES>> listed;
            if (!selected_well.empty())
                listed = std::async(std::launch::async, [&selected_well] {
                    std::vector<PORE_FILES> files;
                    list_well_files({node_well, selected_well}, files);
                    return files;
                });
            ScannedTree scanned = scan_tree(folder, look, marks, expanded, selected_area);
            if (listed.valid()) {
                std::vector<PORE_FILES> files = listed.get();
                if (files != *shown) {
                    scanned.cells = grid_cells(files);
                    scanned.files = std::move(files);
                }
            }
            return scanned;
        },
        [this](ScannedTree scanned) { show_scanned_tree(scanned); });
}

// The root and its areas, with the wells of the unfolded areas and of the selected well's
// area made at once; every other area keeps its wells' names until they are needed.
TDravinexMainForm::ScannedTree TDravinexMainForm::scan_tree(const std::string& data_folder, const TreeMarkLook& look,
                                                            const QHash<QString, QString>& marks,
                                                            const QSet<QString>& expanded, const QString& selected_area)
{
    ScannedTree scanned;
    scanned.marks = marks;
    TreeItemMaker maker(look, scanned.marks, scanned.items);
    std::unique_ptr<TreeItem> root = maker.make(QString::fromUtf8(catalogue_text::root_caption), {node_data_folder, data_folder});
    QList<QTreeWidgetItem*> areas;
    for (STORE_AREA& area : list_store_areas(data_folder)) {
        std::unique_ptr<TreeItem> item = maker.make_area(std::move(area), data_folder);
        const QString folder = item->data(0, tree_folder_role).toString();
        if (expanded.contains(folder) || folder == selected_area)
            maker.make_wells(*item);
        areas.push_back(item.release());
    }
    root->addChildren(areas);
    scanned.root = std::move(root);
    return scanned;
}

void TDravinexMainForm::show_scanned_tree(ScannedTree& scanned)
{
    if (tree_rescan_) {
        // Read again at once: what was just read is already old.
        rebuild_tree();
        return;
    }
    Tree->setUpdatesEnabled(false);
    Tree->clear();
    QTreeWidgetItem* root = scanned.root.release();
    Tree->addTopLevelItem(root);
    tree_items_ = std::move(scanned.items);
    root->setExpanded(true);
    for (const QString& folder : std::as_const(tree_expanded_))
        if (QTreeWidgetItem* item = tree_items_.value(folder))
            item->setExpanded(true);
    restore_current_item(scanned);
    // An overview that ended during the scan changed the marks the items were made with.
    if (scanned.marks != well_marks_)
        mark_tree_wells(std::exchange(well_marks_, scanned.marks));
    Tree->setUpdatesEnabled(true);
    refresh_overview();
}

// The item selected before the scan, selected again; its files were listed with the scan,
// so the grid changes only when they did. A node that is gone takes its files with it.
void TDravinexMainForm::restore_current_item(ScannedTree& scanned)
{
    QTreeWidgetItem* current = tree_items_.value(tree_current_);
    if (current == nullptr) {
        fill_grid({});
        return;
    }
    if (!tree_current_well_) {
        Tree->setCurrentItem(current); // an area or the root lists no files
        return;
    }
    const bool blocked = Tree->blockSignals(true);
    Tree->setCurrentItem(current);
    Tree->blockSignals(blocked);
    if (scanned.files) {
        show_files(std::move(*scanned.files), std::move(scanned.cells));
        fit_grid();
    }
    else {
        set_file_actions_enabled(!shown_files_->empty());
    }
}

// The item of a folder of the tree, an area's wells made first when the folder is one of them.
QTreeWidgetItem* TDravinexMainForm::tree_item(const QString& folder)
{
    if (QTreeWidgetItem* item = tree_items_.value(folder))
        return item;
    auto* area = dynamic_cast<TreeItem*>(tree_items_.value(area_folder_of(folder)));
    if (area == nullptr || area->node.kind != node_area || area->unmade_wells.empty())
        return nullptr;
    make_area_wells(*area);
    return tree_items_.value(folder);
}

void TDravinexMainForm::tree_item_expanded(QTreeWidgetItem* item)
{
    if (auto* area = dynamic_cast<TreeItem*>(item); area != nullptr && !area->unmade_wells.empty())
        make_area_wells(*area);
}

void TDravinexMainForm::make_area_wells(QTreeWidgetItem& area)
{
    const TreeMarkLook look{style()->standardIcon(QStyle::SP_MessageBoxWarning), imBrouser[0], silent_well_colour()};
    TreeItemMaker(look, well_marks_, tree_items_).make_wells(static_cast<TreeItem&>(area));
}

QTreeWidgetItem* TDravinexMainForm::selected_node_item() const
{
    return Tree->currentItem();
}

const TREE_NODE* TDravinexMainForm::selected_node() const
{
    const auto* item = dynamic_cast<const TreeItem*>(selected_node_item());
    return item == nullptr ? nullptr : &item->node;
}

void TDravinexMainForm::TreeChange()
{
    const TREE_NODE* node = selected_node();
    if (node == nullptr)
        return;
    std::vector<PORE_FILES> rows;
    list_well_files(*node, rows);
    fill_grid(std::move(rows));
    fit_grid();
}

void TDravinexMainForm::fill_grid(std::vector<PORE_FILES> files)
{
    std::vector<FileGridModel::Row> cells = grid_cells(files);
    show_files(std::move(files), std::move(cells));
}

void TDravinexMainForm::show_files(std::vector<PORE_FILES> files, std::vector<FileGridModel::Row> cells)
{
    grid_model->set_rows(std::move(cells));
    shown_files_ = std::make_shared<const std::vector<PORE_FILES>>(std::move(files));
    set_file_actions_enabled(!shown_files_->empty());
}

void TDravinexMainForm::set_file_actions_enabled(bool enabled)
{
    btnShowFile->setEnabled(enabled);
    mnuShowFile->setEnabled(enabled);
}

QColor TDravinexMainForm::GridGetDrawParams(int row) const
{
    return run_row_colour(grid_model->cell(row, 0), Grid->palette());
}

void TDravinexMainForm::fit_grid()
{
    fit_grid_columns(*Grid, true);
}

void TDravinexMainForm::btnShowFileClick()
{
    const TREE_NODE* node = selected_node();
    const int row = Grid->currentIndex().row();
    if (node == nullptr || row < 0 || row >= grid_model->rowCount())
        return;
    const QString name = grid_model->cell(row, 1).trimmed();
    if (name.isEmpty())
        return;
    open_store_file(QString::fromStdString(node->folder) + name);
}

void TDravinexMainForm::GridDblClick()
{
    if (btnShowFile->isEnabled())
        btnShowFileClick();
}

void TDravinexMainForm::open_store_file(const QString& path)
{
    // The one place that decides how a file of the store is opened.
    const std::string extension = lib::to_lower(std::filesystem::path(path.toStdString()).extension().string());
    const OpenFailure failed = [this, path](const QString& reason) { report_not_opened(path, reason); };
    const data_file_kinds::DataFileKind* kind = data_file_kinds::of_extension(extension);
    const data_file_kinds::Opener opener =
        data_file::readable(path.toStdString()) ? data_file_kinds::Opener::viewer
                                                : (kind ? kind->opener : data_file_kinds::Opener::none);
    switch (opener) {
    case data_file_kinds::Opener::viewer:
        open_viewer(path, this);
        break;
    case data_file_kinds::Opener::text_editor:
        open_in_text_editor(path, this, failed);
        break;
    case data_file_kinds::Opener::desktop:
        open_with_desktop(path, failed);
        break;
    case data_file_kinds::Opener::none:
        failed(ui_text(main_text::no_viewer_for).arg(QString::fromStdString(extension)));
        break;
    }
}

void TDravinexMainForm::report_not_opened(const QString& path, const QString& reason)
{
    const QString line = ui_text(opener_text::not_opened).arg(path, reason);
    add_journal_line(line);
    QMessageBox box(QMessageBox::Warning, ui_text(main_text::show_file), line, QMessageBox::Ok, this);
    set_russian_button_texts(box);
    box.exec();
}

void TDravinexMainForm::tbtbDeleteExtractedClick()
{
    const TREE_NODE* node = selected_node();
    if (node == nullptr || node->folder.empty())
        return;
    shell_delete({QString::fromStdString(lib::without_slash(node->folder))}, [this] { rebuild_tree(); });
}

void TDravinexMainForm::N2Click()
{
    // The program's own file goes for good, as `dravinex-cli cache clear` removes it: it is
    // no document of the user's to keep in the Trash. Without one (nothing unpacked since
    // the last clearing) only memory is emptied.
    if (const int error = platform::remove_file(folders_.cache); error != 0 && !platform::is_missing_file_error(error))
        add_journal_line(ui_text(main_text::cache_not_removed) + QString::fromStdString(folders_.cache + ": "
                                                                                      + platform::error_text(error)));
    cache.load(folders_.cache);
}

bool TDravinexMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Panel2 && event->type() == QEvent::Resize)
        fit_grid();
    if (watched == Grid && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && btnShowFile->isEnabled()) {
            btnShowFileClick();
            return true;
        }
    }
    if (watched == Tree->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::RightButton) {
            if (QTreeWidgetItem* item = Tree->itemAt(press->position().toPoint()))
                Tree->setCurrentItem(item);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
