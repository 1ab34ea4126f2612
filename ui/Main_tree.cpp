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
#include "ui/Fileopener.h"
#include "ui/Gridworks.h"
#include "ui/Shellfiles.h"
#include "ui/viewer/Log_viewer.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSet>
#include <QTableView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <filesystem>
#include <thread>

namespace {


// A tree item owns the record of the folder it stands for, so deleting the item releases it.
class TreeItem : public QTreeWidgetItem {
public:
    explicit TreeItem(TREE_NODE node) : node(std::move(node)) {}
    TREE_NODE node;
};

// Builds the items away from the view and hands the finished tree over at once: thousands
// of wells then cost one insertion instead of one model update each.
class TreeWidgetSink : public TreeSink {
public:
    explicit TreeWidgetSink(const QIcon& folder) : folder_(folder) {}

    Handle add_child(Handle parent, const std::string& caption, const TREE_NODE& node) override
    {
        auto item = std::make_unique<TreeItem>(node);
        item->setText(0, QString::fromStdString(caption));
        item->setIcon(0, folder_);
        // The overview finds its wells in the tree by folder.
        item->setData(0, tree_folder_role, QString::fromStdString(node.folder));
        item->setData(0, tree_kind_role, node.kind);
        TreeItem* added = item.get();
        if (parent == 0)
            roots_.push_back(item.release());
        else
            reinterpret_cast<QTreeWidgetItem*>(parent)->addChild(item.release());
        return reinterpret_cast<Handle>(added);
    }

    // The top-level items, handed over to the caller.
    QList<QTreeWidgetItem*> take_roots() { return std::exchange(roots_, {}); }

    ~TreeWidgetSink() override { qDeleteAll(roots_); }

private:
    QIcon folder_;
    QList<QTreeWidgetItem*> roots_;
};

const std::string text_kinds[] = {".rac", ".txt", ".ini"};
// What the viewer does not read but the desktop has a program for: the LAS exports that
// placement copies into the well's folder (the data files go to the viewer first).
const std::string data_kinds[] = {".las"};

template <typename List>
bool listed(const List& list, const std::string& extension)
{
    return std::find(std::begin(list), std::end(list), extension) != std::end(list);
}

} // namespace

void TDravinexMainForm::rebuild_tree()
{
    // A rebuild asked for while one is reading the store (F5 pressed meanwhile) reads it
    // again once the first is done.
    if (tree_scanning_) {
        tree_rescan_ = true;
        return;
    }
    tree_scanning_ = true;
    do {
        tree_rescan_ = false;
        scan_tree_once();
    } while (tree_rescan_);
    tree_scanning_ = false;
}

namespace {

// The folders of the expanded items, and of the current one, so that a rebuild (after every
// run) leaves the user where they were.
struct TreeView {
    QSet<QString> expanded;
    QString current;
};

TreeView view_of(const QTreeWidget& tree)
{
    TreeView view;
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(&tree)); *it; ++it) {
        if ((*it)->isExpanded())
            view.expanded.insert((*it)->data(0, tree_folder_role).toString());
    }
    if (const QTreeWidgetItem* current = tree.currentItem())
        view.current = current->data(0, tree_folder_role).toString();
    return view;
}

void restore_view(QTreeWidget& tree, const TreeView& view)
{
    QTreeWidgetItem* current = nullptr;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        const QString folder = (*it)->data(0, tree_folder_role).toString();
        if (folder.isEmpty())
            continue;
        if (view.expanded.contains(folder))
            (*it)->setExpanded(true);
        if (folder == view.current)
            current = *it;
    }
    if (current != nullptr)
        tree.setCurrentItem(current);
}

} // namespace

void TDravinexMainForm::scan_tree_once()
{
    const TreeView view = view_of(*Tree);
    Tree->clear();
    // The files of a node that is gone must not stay on show.
    fill_grid({});
    Tree->addTopLevelItem(new QTreeWidgetItem(QStringList{ui_text(main_text::reading_store)}));

    // The store is read on a thread of its own, so that a large or slow store never stops
    // the window; the items are handed over when they are all made.
    TreeWidgetSink sink(imBrouser[0]);
    TreeSink::Handle root = 0;
    const std::string folder = configuration().to_path;
    QEventLoop loop;
    std::jthread scanner([&] {
        root = add_data_tree(sink, 0, folder);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    scanner.join();

    Tree->setUpdatesEnabled(false);
    Tree->clear();
    Tree->addTopLevelItems(sink.take_roots());
    if (root != 0)
        reinterpret_cast<QTreeWidgetItem*>(root)->setExpanded(true);
    restore_view(*Tree, view);
    Tree->setUpdatesEnabled(true);
    // The marks of silent wells, from the last overview until the new one is done.
    mark_tree_wells();
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
    if (listed(text_kinds, extension))
        open_in_text_editor(path, this, failed);
    else if (data_file::readable(path.toStdString()))
        open_viewer(path, this);
    else if (listed(data_kinds, extension))
        open_with_desktop(path, failed);
    else
        failed(ui_text(main_text::no_viewer_for).arg(QString::fromStdString(extension)));
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
    shell_delete({QString::fromStdString(lib::without_slash(node->folder))});
    rebuild_tree();
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
