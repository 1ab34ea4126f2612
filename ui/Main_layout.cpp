// The main window's controls, menu and images.
#include "ui/Main.h"

#include "ui/Controlworks.h"
#include "lib/Translator.h"
#include "ui/Controls.h"
#include "ui/Gridworks.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QToolBar* make_tool_bar(QWidget* parent)
{
    auto* bar = new QToolBar(parent);
    bar->setIconSize(QSize(16, 16));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    return bar;
}

QAction* tool(QToolBar* bar, const QIcon& icon, const char* hint, const char* name)
{
    QAction* action = bar->addAction(icon, ui_text(hint).trimmed());
    action->setObjectName(QString::fromLatin1(name));
    action->setToolTip(ui_text(hint));
    return action;
}

} // namespace

void TDravinexMainForm::build_images()
{
    Q_INIT_RESOURCE(dravinex);
    const char* files[] = {"folder", "document", "package", "folder_arrow", "cross", "triangle"};
    for (std::size_t i = 0; i < ImageList1.size(); ++i)
        ImageList1[i] = QIcon(QStringLiteral(":/dravinex/icons/%1.svg").arg(QLatin1String(files[i])));
    imBrouser = {ImageList1[image_folder], ImageList1[image_document]};
}

void TDravinexMainForm::build_controls()
{
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->setSpacing(0);

    Splitter1 = new QSplitter(Qt::Vertical, central);
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    Splitter3 = new QSplitter(Qt::Horizontal, Splitter1);
    Splitter3->setHandleWidth(4);
    Splitter3->setChildrenCollapsible(false);

    build_packed_panel();
    build_unpacked_panel();
    build_journal_panel();

    Splitter3->setStretchFactor(0, 0);
    Splitter3->setStretchFactor(1, 1);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    outer->addWidget(Splitter1, 1);
    setCentralWidget(central);

    // A permanent label: a temporary message would be wiped by every menu hover.
    statusBar()->addWidget(new QLabel(ui_text(main_text::status_text), statusBar()), 1);
    statusBar()->setSizeGripEnabled(true);

    resize(796, 488 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    connect_controls();
}

// Left: the packages waiting in the input folder.
void TDravinexMainForm::build_packed_panel()
{
    MyContainer1 = new TMyContainer(ui_text(main_text::packed_panel), Splitter3);
    MyContainer1->setMinimumWidth(16);
    ToolBar1 = make_tool_bar(MyContainer1);
    tbtnExtract = tool(ToolBar1, ImageList1[image_triangle], main_text::hint_extract, "tbtnExtract");
    tbtnDelete = tool(ToolBar1, ImageList1[image_cross], main_text::hint_delete, "tbtnDelete");
    ListView1 = new QListWidget(MyContainer1);
    ListView1->setViewMode(QListView::ListMode);
    ListView1->setFlow(QListView::TopToBottom);
    ListView1->setWrapping(true);
    ListView1->setResizeMode(QListView::Adjust);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setFrameShape(QFrame::NoFrame);
    ListView1->setIconSize(QSize(16, 16));
    MyContainer1->content()->addWidget(ToolBar1);
    MyContainer1->content()->addWidget(ListView1, 1);
}

// Right: the store's tree and the selected well's files.
void TDravinexMainForm::build_unpacked_panel()
{
    MyContainer2 = new TMyContainer(ui_text(main_text::unpacked_panel), Splitter3);
    MyContainer2->setMinimumWidth(16);
    Splitter4 = new QSplitter(Qt::Horizontal, MyContainer2);
    Splitter4->setHandleWidth(4);
    Splitter4->setChildrenCollapsible(false);
    build_tree_panel();
    build_grid_panel();
    MyContainer2->content()->addWidget(Splitter4, 1);
    Splitter4->setStretchFactor(0, 0);
    Splitter4->setStretchFactor(1, 1);
}

void TDravinexMainForm::build_tree_panel()
{
    Panel3 = new QWidget(Splitter4);
    ToolBar2 = make_tool_bar(Panel3);
    tbtnCopyTo = tool(ToolBar2, ImageList1[image_folder_arrow], main_text::hint_copy_to, "tbtnCopyTo");
    tbtbDeleteExtracted = tool(ToolBar2, ImageList1[image_cross], main_text::hint_delete_extracted, "tbtbDeleteExtracted");
    Tree = new QTreeWidget(Panel3);
    Tree->setHeaderHidden(true);
    Tree->setColumnCount(1);
    Tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tree->setIconSize(QSize(16, 16));
    Tree->setContextMenuPolicy(Qt::PreventContextMenu);
    Tree->viewport()->installEventFilter(this); // a right click selects
    auto* panel3_layout = new QVBoxLayout(Panel3);
    panel3_layout->setContentsMargins(0, 0, 0, 0);
    panel3_layout->setSpacing(0);
    panel3_layout->addWidget(ToolBar2);
    panel3_layout->addWidget(Tree, 1);
}

void TDravinexMainForm::build_grid_panel()
{
    Panel4 = new QWidget(Splitter4);
    Grid = new QTableView(Panel4);
    Grid->verticalHeader()->setVisible(false);
    Grid->horizontalHeader()->setStretchLastSection(false);
    Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    Grid->horizontalHeader()->setHighlightSections(false);
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Grid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Grid->setWordWrap(false);
    Grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Tab leaves the grid for the next control instead of walking its cells for ever; Enter
    // on a row opens its file, as a double click does.
    Grid->setTabKeyNavigation(false);
    Grid->installEventFilter(this);
    MyRectangle1 = new TMyRectangle(Panel4);
    Panel2 = new QWidget(Panel4);
    Panel2->setFixedHeight(30);
    btnShowFile = new QPushButton(ui_text(main_text::show_file), Panel2);
    btnShowFile->setEnabled(false);
    auto* panel2_layout = new QHBoxLayout(Panel2);
    panel2_layout->setContentsMargins(4, 2, 4, 2);
    panel2_layout->addStretch();
    panel2_layout->addWidget(btnShowFile);
    Panel2->installEventFilter(this); // a resize refits the grid's columns
    auto* panel4_layout = new QVBoxLayout(Panel4);
    panel4_layout->setContentsMargins(0, 0, 0, 0);
    panel4_layout->setSpacing(0);
    panel4_layout->addWidget(Grid, 1);
    panel4_layout->addWidget(MyRectangle1);
    panel4_layout->addWidget(Panel2);
}

// Bottom: the journal.
void TDravinexMainForm::build_journal_panel()
{
    MyContainer4 = new TMyContainer(ui_text(main_text::journal_panel), Splitter1);
    Memo1 = new QPlainTextEdit(MyContainer4);
    Memo1->setReadOnly(true);
    Memo1->setTabChangesFocus(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setMaximumBlockCount(journal_line_limit);
    MyContainer4->content()->addWidget(Memo1, 1);
}

void TDravinexMainForm::connect_controls()
{
    connect(tbtnExtract, &QAction::triggered, this, &TDravinexMainForm::tbtnExtractClick);
    connect(tbtnDelete, &QAction::triggered, this, &TDravinexMainForm::tbtnDeleteClick);
    connect(tbtnCopyTo, &QAction::triggered, this, &TDravinexMainForm::tbtnCopyToClick);
    connect(tbtbDeleteExtracted, &QAction::triggered, this, &TDravinexMainForm::tbtbDeleteExtractedClick);
    connect(Tree, &QTreeWidget::currentItemChanged, this, [this] { TreeChange(); });
    connect(Tree, &QTreeWidget::itemExpanded, this, &TDravinexMainForm::tree_item_expanded);
    connect(Grid, &QTableView::doubleClicked, this, [this] { GridDblClick(); });
    connect(btnShowFile, &QPushButton::clicked, this, &TDravinexMainForm::btnShowFileClick);
    // The view of the grid's file, also in the menu, with the keys of a file manager.
    mnuShowFile = new QAction(ui_text(main_text::show_file), this);
    mnuShowFile->setObjectName(QStringLiteral("mnuShowFile"));
    mnuShowFile->setShortcut(QKeySequence(Qt::Key_F3));
    mnuShowFile->setEnabled(false);
    connect(mnuShowFile, &QAction::triggered, this, &TDravinexMainForm::btnShowFileClick);
}

// Every action of the two panels is in a menu with a shortcut, so that the window works
// with the keyboard alone; the tool bars show the same actions. Delete acts on the panel
// that has the focus: the package list's files or the tree's data.
void TDravinexMainForm::build_menu()
{
    QMenu* file = menuBar()->addMenu(ui_text(main_text::menu_file));
    mnuExit = file->addAction(ui_text(main_text::menu_exit), this, &QWidget::close);
    mnuExit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));

    QMenu* packages = menuBar()->addMenu(ui_text(main_text::menu_packages));
    packages->setObjectName(QStringLiteral("mnuPackages"));
    packages->addAction(tbtnExtract);
    tbtnExtract->setShortcut(QKeySequence(Qt::Key_F9));
    packages->addAction(tbtnDelete);
    tbtnDelete->setShortcut(QKeySequence(QKeySequence::Delete));
    tbtnDelete->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    ListView1->addAction(tbtnDelete);

    QMenu* data = menuBar()->addMenu(ui_text(main_text::menu_data));
    data->setObjectName(QStringLiteral("mnuData"));
    data->addAction(mnuShowFile);
    data->addAction(tbtnCopyTo);
    tbtnCopyTo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    data->addAction(tbtbDeleteExtracted);
    tbtbDeleteExtracted->setShortcut(QKeySequence(QKeySequence::Delete));
    tbtbDeleteExtracted->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    Tree->addAction(tbtbDeleteExtracted);

    QMenu* view = menuBar()->addMenu(ui_text(main_text::menu_view));
    N10 = view->addAction(ui_text(main_text::menu_refresh), this, &TDravinexMainForm::N10Click);
    N10->setShortcut(QKeySequence(Qt::Key_F5));
    mnuOverview = view->addAction(ui_text(main_text::menu_overview), this, &TDravinexMainForm::overview_click);
    mnuOverview->setObjectName(QStringLiteral("mnuOverview"));
    mnuOverview->setShortcut(QKeySequence(Qt::Key_F6));

    QMenu* setup = menuBar()->addMenu(ui_text(main_text::menu_setup));
    N4 = setup->addAction(ui_text(main_text::menu_settings), this, &TDravinexMainForm::N4Click);
    N2 = setup->addAction(ui_text(main_text::menu_clear_cache), this, &TDravinexMainForm::N2Click);
    mnuCheckStore = setup->addAction(ui_text(main_text::menu_check_store), this, &TDravinexMainForm::check_store_click);

    QMenu* help = menuBar()->addMenu(ui_text(main_text::menu_help));
    N7 = help->addAction(ui_text(main_text::menu_help_call));
    N7->setShortcut(QKeySequence(Qt::Key_F1));
    N7->setEnabled(false);
    help->addSeparator();
    N8 = help->addAction(ui_text(main_text::menu_about), this, &TDravinexMainForm::N8Click);
}

void TDravinexMainForm::set_grid_titles()
{
    lib::NULLTranslator translator;
    QStringList titles;
    for (const char* title : {main_text::grid_run, main_text::grid_name, main_text::grid_note})
        titles << QString::fromStdString(lib::text_of(translator.translate(title)));
    grid_model = new FileGridModel(titles, [this](int row) { return GridGetDrawParams(row); }, this);
    Grid->setModel(grid_model);
    Grid->setColumnWidth(0, 64);
    Grid->setColumnWidth(1, 64);
    Grid->setColumnWidth(2, 173);
}
