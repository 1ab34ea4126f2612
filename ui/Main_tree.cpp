// The unpacked-data panel: the store's tree of areas and wells, the selected well's files,
// opening a file, copying and deleting unpacked data, clearing the cache.
#include "ui/Main.h"

#include "app/Configuration.h"
#include "extract/Fileworks.h"
#include "lib/Strworks.h"
#include "ui/Fileopener.h"
#include "ui/Gridworks.h"

#include <QFileDialog>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QUrl>

#include <filesystem>

namespace {

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// A tree item owns the record of the folder it stands for, so deleting the item releases it.
class TreeItem : public QTreeWidgetItem {
public:
    explicit TreeItem(TREE_NODE node) : node(std::move(node)) {}
    TREE_NODE node;
};

class TreeWidgetSink : public TreeSink {
public:
    TreeWidgetSink(QTreeWidget& tree, const QIcon& folder) : tree_(tree), folder_(folder) {}

    Handle add_child(Handle parent, const std::string& caption, const TREE_NODE& node) override
    {
        auto item = std::make_unique<TreeItem>(node);
        item->setText(0, QString::fromStdString(caption));
        item->setIcon(0, folder_);
        TreeItem* added = item.get();
        if (parent == 0)
            tree_.addTopLevelItem(item.release());
        else
            reinterpret_cast<QTreeWidgetItem*>(parent)->addChild(item.release());
        return reinterpret_cast<Handle>(added);
    }

private:
    QTreeWidget& tree_;
    QIcon folder_;
};

const std::string text_kinds[] = {".rac", ".txt", ".ini"};
const std::string data_kinds[] = {".tim", ".dep", ".ldp", ".realtim", ".realdep", ".reallag", ".las"};

template <typename List>
bool listed(const List& list, const std::string& extension)
{
    return std::find(std::begin(list), std::end(list), extension) != std::end(list);
}

std::string without_slash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

} // namespace

void TDravinexMainForm::rebuild_tree()
{
    Tree->setUpdatesEnabled(false);
    Tree->clear();
    TreeWidgetSink sink(*Tree, imBrouser[0]);
    const auto root = add_data_tree(sink, 0, configuration().to_path);
    reinterpret_cast<QTreeWidgetItem*>(root)->setExpanded(true);
    Tree->setUpdatesEnabled(true);
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
    Grid->setUpdatesEnabled(false);
    Grid->clearContents();
    Grid->setRowCount(rows.empty() ? 1 : static_cast<int>(rows.size()));
    const QPalette palette = Grid->palette();
    int row = 0;
    for (const PORE_FILES& file : rows) {
        const QString run = file.run_number < 0 ? QStringLiteral(" ---") : QStringLiteral(" %1").arg(file.run_number);
        const QString cells[] = {run, QLatin1Char(' ') + QString::fromStdString(file.file_name),
                                 QLatin1Char(' ') + QString::fromStdString(file.caption)};
        const QColor background = run_row_colour(run, palette);
        for (int column = 0; column < 3; ++column) {
            auto* cell = new QTableWidgetItem(cells[column]);
            cell->setBackground(background);
            Grid->setItem(row, column, cell);
        }
        ++row;
    }
    if (rows.empty()) {
        for (int column = 0; column < 3; ++column)
            Grid->setItem(0, column, new QTableWidgetItem(QString()));
    }
    btnShowFile->setEnabled(!rows.empty());
    Grid->setUpdatesEnabled(true);
}

void TDravinexMainForm::fit_grid()
{
    fit_grid_columns(*Grid, true);
}

void TDravinexMainForm::btnShowFileClick()
{
    const TREE_NODE* node = selected_node();
    const int row = Grid->currentRow();
    if (node == nullptr || row < 0 || Grid->item(row, 1) == nullptr)
        return;
    const QString name = Grid->item(row, 1)->text().trimmed();
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
    if (listed(text_kinds, extension))
        open_in_text_editor(path);
    else if (listed(data_kinds, extension))
        open_with_desktop(path);
}

void TDravinexMainForm::tbtnCopyToClick()
{
    const TREE_NODE* node = selected_node();
    if (node == nullptr)
        return;
    const std::string folder = without_slash(node->folder);
    const QString target = QFileDialog::getExistingDirectory(this, text(main_text::copy_to_title), QString(),
                                                             QFileDialog::ShowDirsOnly);
    if (target.isEmpty())
        return;
    shell_copy({QString::fromStdString(folder)}, target);
}

void TDravinexMainForm::tbtbDeleteExtractedClick()
{
    const TREE_NODE* node = selected_node();
    if (node == nullptr || node->folder.empty())
        return;
    shell_delete({QString::fromStdString(without_slash(node->folder))});
    rebuild_tree();
}

void TDravinexMainForm::N2Click()
{
    // No cache file yet (nothing unpacked since the last clearing): only memory is emptied.
    if (lib::file_exists(folders_.cache))
        shell_delete({QString::fromStdString(folders_.cache)});
    cache.load(folders_.cache);
}

bool TDravinexMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Panel2 && event->type() == QEvent::Resize)
        fit_grid();
    if (watched == Tree->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::RightButton) {
            if (QTreeWidgetItem* item = Tree->itemAt(press->position().toPoint()))
                Tree->setCurrentItem(item);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
