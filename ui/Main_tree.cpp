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
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <filesystem>

namespace {

// A tree item owns the record of the folder it stands for, so deleting the item releases it.
class TreeItem : public QTreeWidgetItem {
public:
    explicit TreeItem(TREE_NODE node) : node(std::move(node)) {}
    TREE_NODE node;
};

// Builds the items on the scan's thread, away from the view, with the silent wells already
// marked from the last overview; the window hands the finished tree over at once, so
// thousands of wells cost one insertion instead of one model update each.
class TreeWidgetSink : public TreeSink {
public:
    TreeWidgetSink(TreeMarkLook look, QHash<QString, QString> marks) : look_(std::move(look)), marks_(std::move(marks)) {}

    Handle add_child(Handle parent, const std::string& caption, const TREE_NODE& node) override
    {
        auto item = std::make_unique<TreeItem>(node);
        const QString folder = QString::fromStdString(node.folder);
        item->setText(0, QString::fromStdString(caption));
        // The overview finds its wells in the tree by folder.
        item->setData(0, tree_folder_role, folder);
        item->setData(0, tree_kind_role, node.kind);
        const auto mark = node.kind == node_well ? marks_.constFind(folder) : marks_.constEnd();
        if (mark != marks_.constEnd())
            set_well_mark(*item, look_, &*mark);
        else
            item->setIcon(0, look_.folder);
        TreeItem* added = item.get();
        items_.insert(folder, added);
        if (parent == 0)
            roots_.push_back(item.release());
        else
            reinterpret_cast<QTreeWidgetItem*>(parent)->addChild(item.release());
        return reinterpret_cast<Handle>(added);
    }

    QList<QTreeWidgetItem*> take_roots() { return std::exchange(roots_, {}); }
    QHash<QString, QTreeWidgetItem*> take_items() { return std::exchange(items_, {}); }

    ~TreeWidgetSink() override { qDeleteAll(roots_); }

private:
    TreeMarkLook look_;
    QHash<QString, QString> marks_;
    QList<QTreeWidgetItem*> roots_;
    QHash<QString, QTreeWidgetItem*> items_;
};


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

// What a scan hands to the GUI thread: the new items, and the old ones to free off it.
struct TDravinexMainForm::ScannedTree {
    QList<QTreeWidgetItem*> roots;
    QHash<QString, QTreeWidgetItem*> items;
    QHash<QString, QString> marks; // the silent wells the items were marked by
    TreeSink::Handle root = 0;

    ScannedTree() = default;
    ScannedTree(ScannedTree&& other) noexcept
        : roots(std::exchange(other.roots, {})), items(std::exchange(other.items, {})),
          marks(std::exchange(other.marks, {})), root(other.root)
    {
    }
    ScannedTree& operator=(ScannedTree&&) = delete;
    ~ScannedTree() { qDeleteAll(roots); }
};

void TDravinexMainForm::rebuild_tree()
{
    // A rebuild asked for while one is reading the store (F5 pressed meanwhile) reads it
    // again once the first is done.
    if (tree_task_.running()) {
        tree_rescan_ = true;
        return;
    }
    tree_rescan_ = false;
    // Where the user was, unless the tree shows only the line of a scan going on.
    if (!tree_items_.isEmpty()) {
        tree_expanded_.clear();
        for (auto it = tree_items_.cbegin(); it != tree_items_.cend(); ++it)
            if (it.value()->isExpanded())
                tree_expanded_.insert(it.key());
        const QTreeWidgetItem* current = Tree->currentItem();
        tree_current_ = current != nullptr ? current->data(0, tree_folder_role).toString() : QString();
    }
    // The old items leave the view in one step; the overview that follows the scan frees
    // them on its thread.
    tree_items_.clear();
    retired_items_ += Tree->invisibleRootItem()->takeChildren();
    // The files of a node that is gone must not stay on show.
    fill_grid({});
    Tree->addTopLevelItem(new QTreeWidgetItem(QStringList{ui_text(main_text::reading_store)}));

    const TreeMarkLook look{style()->standardIcon(QStyle::SP_MessageBoxWarning), imBrouser[0], silent_well_colour()};
    tree_task_.start_with_result(
        [folder = configuration().to_path, look, marks = well_marks_](background::JobContext&) {
            TreeWidgetSink sink(look, marks);
            ScannedTree scanned;
            scanned.root = add_data_tree(sink, 0, folder);
            scanned.roots = sink.take_roots();
            scanned.items = sink.take_items();
            scanned.marks = marks;
            return scanned;
        },
        [this](ScannedTree scanned) { show_scanned_tree(scanned); });
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
    Tree->addTopLevelItems(std::exchange(scanned.roots, {}));
    tree_items_ = std::move(scanned.items);
    if (scanned.root != 0)
        reinterpret_cast<QTreeWidgetItem*>(scanned.root)->setExpanded(true);
    for (const QString& folder : std::as_const(tree_expanded_))
        if (QTreeWidgetItem* item = tree_items_.value(folder))
            item->setExpanded(true);
    if (QTreeWidgetItem* current = tree_items_.value(tree_current_))
        Tree->setCurrentItem(current);
    // An overview that ended during the scan changed the marks the items were made with.
    if (scanned.marks != well_marks_)
        mark_tree_wells(std::exchange(well_marks_, scanned.marks));
    Tree->setUpdatesEnabled(true);
    refresh_overview();
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
    fill_grid(rows);
    fit_grid();
}

void TDravinexMainForm::fill_grid(const std::vector<PORE_FILES>& rows)
{
    std::vector<FileGridModel::Row> cells;
    cells.reserve(std::max<std::size_t>(rows.size(), 1));
    for (const PORE_FILES& file : rows) {
        const QString run = file.run_number < 0 ? QStringLiteral(" ---") : QStringLiteral(" %1").arg(file.run_number);
        cells.push_back({run, QLatin1Char(' ') + QString::fromStdString(file.file_name),
                         QLatin1Char(' ') + QString::fromStdString(file.caption)});
    }
    // A node without files still shows one blank row.
    if (rows.empty())
        cells.push_back({});
    grid_model->set_rows(std::move(cells));
    btnShowFile->setEnabled(!rows.empty());
    mnuShowFile->setEnabled(!rows.empty());
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
