#pragma once
// The main window: packages waiting in the input folder on the left, the data store's tree
// of areas and wells with the selected well's files on the right, the journal below.
//
// The window only starts work and shows what it reports. Every piece of work it starts runs
// as a background::Job (ui/Background_job.h) on a thread of its own: the extraction (the
// core's ExtractJob run inside it, reaching the window through WindowExtractOwner), the
// store check, the scan of the tree, the reading of the package list, copying, moving to
// the trash and the overview; the viewer's load has a job of its own. While a run lasts the
// window takes no input, so the cache and the settings belong to the run. Closing the window
// cancels what can stop and waits, with its progress on show, for what cannot (a run). All
// members are used on the GUI thread only.
//
// Units: Main.cpp (creation, destruction, menu, command line, hand-off, settings),
// Main_layout.cpp (the controls), Main_packages.cpp (package list, trash, copy, drops),
// Main_run.cpp (the extraction run), Main_tree.cpp (tree, grid, opening files),
// Main_copy.cpp (copying data and packages), Main_overview.cpp (the overview of the wells).

#include "settings/Configuration_folders.h"
#include "catalogue/Filedata.h"
#include "catalogue/Treeclasses.h"
#include "catalogue/Well_overview.h"
#include "extract/Extract_job.h"
#include "ui/Background_job.h"
#include "ui/Desktop_notifier.h"
#include "ui/Tones.h"

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QMainWindow>
#include <QSet>
#include <QStringList>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TDravinexMainForm;
class QAction;
class QFrame;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTableView;
class FileGridModel;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class TMyContainer;
class TMyRectangle;
class Tfrm_progress;
class TOverviewForm;

namespace main_text {
inline constexpr const char* application_title = "распаковка данных ГТИ";
inline constexpr const char* caption_prefix = "Dravinex ";
inline constexpr const char* packed_panel = "  Упакованные данные";
inline constexpr const char* unpacked_panel = "  Распакованные данные";
inline constexpr const char* journal_panel = "  Журнал";
inline constexpr const char* notice_not_shown = "Уведомление рабочего стола не показано (дальше без этих сообщений): ";
inline constexpr const char* hint_extract = " Распаковать все данные ";
inline constexpr const char* hint_delete = " Удалить файл ";
inline constexpr const char* hint_copy_to = " Копировать в... ";
inline constexpr const char* hint_delete_extracted = " Удалить данные ";
inline constexpr const char* show_file = "Просмотр файла";
inline constexpr const char* status_text =
    "Комплекс по информационному сопровождению процесса строительства нефтяных и газовых скважин";
inline constexpr const char* menu_file = "Файл";
inline constexpr const char* menu_exit = "Выход";
inline constexpr const char* menu_view = "Вид";
inline constexpr const char* menu_refresh = "Обновить списки";
inline constexpr const char* menu_setup = "Настройка";
inline constexpr const char* menu_packages = "Пакеты";
inline constexpr const char* bad_destination_name =
    "Пакет не распакован: второй параметр — имя папки рядом с пакетом, а не путь: ";
inline constexpr const char* menu_data = "Данные";
inline constexpr const char* menu_settings = "Настройки программы...";
inline constexpr const char* menu_clear_cache = "Очистить кэш данных";
inline constexpr const char* cache_not_removed = "Кэш данных не удалось удалить: ";
inline constexpr const char* menu_check_store = "Проверить хранилище";
inline constexpr const char* check_started = "Проверка хранилища ";
inline constexpr const char* check_done = "Проверка хранилища окончена. Проверено файлов данных: ";
inline constexpr const char* check_found = ", найдено: ";
inline constexpr const char* check_failed = "Проверка хранилища не удалась: ";
inline constexpr const char* repair_started = "Исправление хранилища ";
inline constexpr const char* repair_caption = "Исправить хранилище?";
inline constexpr const char* repair_intro = "Проверка нашла то, что можно исправить:\n";
inline constexpr const char* repair_cut_ends =
    "\n• файлов данных с оборванным концом: %1. Запись в них была прервана; будет отрезан только "
    "незаконченный последний кусок, все целые записи останутся.";
inline constexpr const char* repair_leftovers =
    "\n• временных файлов прерванных записей: %1. Они будут удалены; файлы данных они не заменяли.";
inline constexpr const char* repair_index =
    "\n• устаревших записей индекса слияния: %1. Они будут забыты; следующее слияние в эти файлы "
    "прочтёт их целиком.";
inline constexpr const char* repair_outro =
    "\n\nБольше ничего не изменится: повреждённые файлы и файлы вне дерева останутся как есть.\n\nИсправить?";
inline constexpr const char* menu_overview = "Обзор скважин";
inline constexpr const char* silent_well_tip = "Скважина молчит: нет новых записей более %1 ч";
inline constexpr const char* no_data_well_tip = "Скважина молчит: в ней нет ни одной записи";
inline constexpr const char* menu_help = "Справка";
inline constexpr const char* menu_help_call = "Вызов справки";
inline constexpr const char* menu_about = "О программе...";
inline constexpr const char* grid_run = " № Рейса ";
inline constexpr const char* grid_name = " Имя ";
inline constexpr const char* grid_note = " Примечание ";
inline constexpr const char* new_settings = "Заданы новые настройки.";
inline constexpr const char* new_store_caption = "Новая папка данных";
inline constexpr const char* new_store_question =
    "Папка распакованных данных изменена.\n\nОчистить кэш данных, чтобы все пакеты из папки пакетов были "
    "распакованы в новую папку заново?";
inline constexpr const char* drop_caption = "Копирование упакованных данных";
inline constexpr const char* copy_to_title = "Путь для копирования";
inline constexpr const char* reading_store = "Чтение папки данных...";
inline constexpr const char* no_viewer_for = "просмотр файлов вида \"%1\" не предусмотрен";
inline constexpr const char* settings_not_read = "Не удалось прочитать настройки: ";
inline constexpr const char* settings_not_saved = "Не удалось сохранить настройки: ";
inline constexpr const char* layout_not_saved = "Не удалось сохранить расположение окна: ";
inline constexpr const char* home_not_writable = "Папка программы недоступна для записи: ";
inline constexpr const char* hand_off_not_listening = "Передача файлов от других копий программы недоступна: ";
inline constexpr const char* closing_caption = "Завершение работы";
inline constexpr const char* closing_waits = "Окно закроется, когда закончится начатая работа: ";
inline constexpr const char* closing_copy = "копирование";
inline constexpr const char* closing_trash = "перемещение в корзину";
inline constexpr const char* closing_check = "проверка хранилища";
inline constexpr const char* closing_other = "чтение папок";
} // namespace main_text

// The journal keeps its last lines only: a window left open for months would otherwise grow
// with every run it makes.
inline constexpr int journal_line_limit = 10000;

// Section and keys of the window's layout in the settings file.
namespace layout_keys {
inline constexpr const char* section = "DravinexMainForm";
inline constexpr const char* packed_width = "MyContainer1->Width";
inline constexpr const char* unpacked_width = "MyContainer2->Width";
inline constexpr const char* journal_height = "MyContainer4->Height";
} // namespace layout_keys

// What a tree item carries besides its caption: its folder and its kind (node_area, ...).
inline constexpr int tree_folder_role = Qt::UserRole + 1;
inline constexpr int tree_kind_role = Qt::UserRole + 2;

// How a silent well looks in the tree: a warning sign, the overview's colour, a tip.
struct TreeMarkLook {
    QIcon warning;
    QIcon folder;
    QColor colour;
};
// Wells whose mark changed, by folder: the tip of the new mark, or none for the plain look.
using TreeMarkChanges = std::vector<std::pair<QString, std::optional<QString>>>;
// Marks a well as silent with `tip`, or gives it back its plain look (tip null).
void set_well_mark(QTreeWidgetItem& item, const TreeMarkLook& look, const QString* tip);

// Indexes of the tool bars' and the package list's images.
enum ImageIndex { image_folder = 0, image_document, image_package, image_folder_arrow, image_cross, image_triangle };

// The run's reports, handed to the job that runs it: status and share to the progress window,
// notices to the journal, and each error box as a question the run waits on.
class WindowExtractOwner : public ExtractOwner {
public:
    // The context of the job the run is in, for the time of the run (worker thread).
    void attach(background::JobContext* context) { context_ = context; }
    void post_status(const std::string& text) override;
    void post_progress(int percent) override;
    void report_error(const std::string& caption, const std::string& message) override;
    void post_notice(const std::string& text) override;

private:
    background::JobContext* context_ = nullptr;
};

class TDravinexMainForm : public QMainWindow {
    Q_OBJECT
public:
    // `arguments` are the program's command-line arguments without the program name.
    TDravinexMainForm(const ProgramFolders& folders, QStringList arguments, QWidget* parent = nullptr);
    ~TDravinexMainForm() override;

    // --- commands (public so that tests drive them as a user would) ---
    void run_command_line();
    void receive_hand_off();
    void N4Click();
    void N8Click();
    void N10Click();
    void N2Click();
    // After the store folder changed: asks whether to clear the cache, so that every
    // package is unpacked into the new store.
    void offer_cache_clearing();
    // "Проверить хранилище": the store check runs on a thread of its own; its report goes
    // to the journal line by line when it ends.
    void check_store_click();
    // The check, or with `repair` the check that also mends what it can.
    void start_store_check(bool repair);
    bool store_check_running() const { return check_task_.running(); }
    // "Обзор скважин": opens the view of the wells; its rows are built off the GUI thread.
    void overview_click();
    // Builds the overview's rows again on a thread of its own (after every rebuild of the
    // tree); the view and the marks of the tree's wells follow when it is done.
    void refresh_overview();
    bool overview_running() const { return overview_task_.running(); }
    const std::vector<catalogue::WellOverviewRow>& overview_rows() const { return overview_rows_; }
    TOverviewForm* overview_form() const { return overview_; }
    // Selects the well of this folder in the tree, its area unfolded; false when it is not there.
    bool select_well(const QString& folder);
    // The tree's item of a folder (root, area or well), its area's wells made first when it
    // is a well that has no item yet; null when the folder is not in the tree.
    QTreeWidgetItem* tree_item(const QString& folder);

    // Reads the input folder off the GUI thread; the list follows when it is read.
    void refresh_package_list();
    void tbtnDeleteClick();
    void files_dropped(const QStringList& paths);
    // Moves the items to the trash off the GUI thread; `then` runs when they have gone.
    void shell_delete(const QStringList& paths, std::function<void()> then = {});
    bool trash_running() const { return trash_task_.running(); }
    // Copies off the GUI thread, with its progress window and questions; returns at once.
    void shell_copy(const QStringList& paths, const QString& destination, std::function<void()> then = {});
    bool copy_running() const { return copy_task_.running(); }

    void tbtnExtractClick();
    void start_extraction(const std::string& package_path, const std::string& data_root, PackageMode mode);
    bool extraction_running() const { return progress_ != nullptr; }
    void add_journal_line(const QString& text);

    // Scans the store off the GUI thread; the tree is replaced in one step when it is read.
    void rebuild_tree();
    bool tree_scanning() const { return tree_task_.running(); }
    // The tree or the package list is being read.
    bool lists_updating() const { return tree_task_.running() || list_task_.running(); }
    // Any work of the window still going on.
    bool working() const;
    void TreeChange();
    // The background of a data row of the grid, by the parity of its run number.
    QColor GridGetDrawParams(int row) const;
    void btnShowFileClick();
    void GridDblClick();
    void tbtnCopyToClick();
    // Where the folder picker of "Копировать в..." opens: the last target, else the home
    // folder, but never inside the folder being copied.
    static QString copy_start_folder(const QString& last_target, const QString& copied_folder);
    void tbtbDeleteExtractedClick();

    void load_layout();
    void save_layout();
    void store_data_path();

    // The question asked before dropped files are copied.
    static QString drop_question(const QStringList& paths, const std::string& from_path);
    // The path and destination of a package named on the command line, or nothing.
    struct CommandLinePackage {
        std::string package;
        std::string destination;
        std::string bad_name; // a NAME that is a path: refused, no run
    };
    static std::optional<CommandLinePackage> command_line_package(const QStringList& arguments);

    const ProgramFolders& folders() const { return folders_; }
    Tfrm_progress* progress_window() const { return progress_.get(); }
    int end_signals() const { return tones_.signals_started(); }
    const DesktopNotifier& notifier() const { return notifier_; }
    // Said once: the folder of the program's own files cannot be written.
    void note_home_not_writable();

    std::deque<std::string> pending;
    FilesDataStorage cache;
    std::string package_dir;

    // --- controls ---
    TMyContainer* MyContainer1 = nullptr;
    TMyContainer* MyContainer2 = nullptr;
    TMyContainer* MyContainer4 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolBar* ToolBar2 = nullptr;
    QAction* tbtnExtract = nullptr;
    QAction* tbtnDelete = nullptr;
    QAction* tbtnCopyTo = nullptr;
    QAction* tbtbDeleteExtracted = nullptr;
    QListWidget* ListView1 = nullptr;
    QSplitter* Splitter3 = nullptr; // packed | unpacked
    QSplitter* Splitter4 = nullptr; // tree | grid
    QSplitter* Splitter1 = nullptr; // panels | journal
    QWidget* Panel3 = nullptr;
    QWidget* Panel4 = nullptr;
    QWidget* Panel2 = nullptr;
    QTreeWidget* Tree = nullptr;
    QTableView* Grid = nullptr;
    FileGridModel* grid_model = nullptr;
    TMyRectangle* MyRectangle1 = nullptr;
    QPushButton* btnShowFile = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QAction* mnuExit = nullptr;
    QAction* N10 = nullptr; // Обновить списки
    QAction* N4 = nullptr;  // Настройки программы...
    QAction* N2 = nullptr;  // Очистить кэш данных
    QAction* mnuCheckStore = nullptr; // Проверить хранилище
    QAction* mnuOverview = nullptr;   // Обзор скважин
    QAction* mnuShowFile = nullptr;   // Просмотр файла
    QAction* N7 = nullptr;  // Вызов справки (disabled)
    QAction* N8 = nullptr;  // О программе...
    std::array<QIcon, 6> ImageList1;
    std::array<QIcon, 2> imBrouser;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void customEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build_controls();
    void build_packed_panel();
    void build_unpacked_panel();
    void build_tree_panel();
    void build_grid_panel();
    void build_journal_panel();
    void connect_controls();
    void build_menu();
    void build_images();
    void set_grid_titles();
    void save_settings();
    void note_home_problem(const QString& what, const std::exception& error);
    void extraction_finished(const ExtractResult& result);
    void connect_jobs();
    void show_job_question(const std::shared_ptr<background::Query>& query);
    void close_when_done();
    void show_closing_wait();
    void show_result(const ExtractResult& result);
    void set_input_enabled(bool enabled);
    void fill_grid(std::vector<PORE_FILES> files);
    void show_files(std::vector<PORE_FILES> files, std::vector<std::array<QString, 3>> cells);
    void set_file_actions_enabled(bool enabled);
    struct ScannedTree;
    void remember_tree_place();
    static ScannedTree scan_tree(const std::string& data_folder, const TreeMarkLook& look,
                                 const QHash<QString, QString>& marks, const QSet<QString>& expanded,
                                 const QString& selected_area);
    void show_scanned_tree(ScannedTree& scanned);
    void restore_current_item(ScannedTree& scanned);
    // Wells are made when their area unfolds (by mouse, keys or code).
    void tree_item_expanded(QTreeWidgetItem* item);
    void make_area_wells(QTreeWidgetItem& area);
    void fill_package_list(const std::vector<std::string>& names, bool folder_missing);
    QTreeWidgetItem* selected_node_item() const;
    const TREE_NODE* selected_node() const;
    void open_store_file(const QString& path);
    void report_not_opened(const QString& path, const QString& reason);
    void fit_grid();
    void apply_panel_sizes();

    ProgramFolders folders_;
    QStringList arguments_;
    struct PanelSizes {
        int packed = 226;
        int unpacked = 796 - 226 - 4;
        int journal = 125;
    };
    PanelSizes panel_sizes_;
    bool shown_once_ = false;
    bool home_problem_noted_ = false;
    WindowExtractOwner owner_;
    std::unique_ptr<Tfrm_progress> progress_;
    // The window's background work, one job per kind; the destructor stops and joins them
    // before anything their work uses goes.
    background::Job extract_task_;
    background::Job check_task_;
    background::Job tree_task_;
    background::Job list_task_;
    background::Job copy_task_;
    background::Job trash_task_;
    background::Job overview_task_;
    bool close_pending_ = false;
    QWidget* closing_wait_ = nullptr;
    // Moves to the trash asked for while one is going on, in order.
    std::deque<std::pair<QStringList, std::function<void()>>> trash_waiting_;
    // Takes the run lock and the cache for each run, on a thread of its own.
    ExtractJob job_;
    TonePlayer tones_;
    // Tells the desktop of the wells a run filled and the packages that failed.
    DesktopNotifier notifier_;
    QString last_copy_target_;
    bool tree_rescan_ = false;
    bool list_reread_ = false;
    // Where the user was in the tree, kept from before a scan to after it.
    QSet<QString> tree_expanded_;
    QString tree_current_;
    bool tree_current_well_ = false;
    // The tree's items by folder (root, areas, and the wells made so far).
    QHash<QString, QTreeWidgetItem*> tree_items_;
    // The files the grid shows (those of the selected well), shared with the scan that
    // looks whether they changed.
    std::shared_ptr<const std::vector<PORE_FILES>> shown_files_ = std::make_shared<const std::vector<PORE_FILES>>();
    // Items a rebuild took out of the tree, until the next overview's thread frees them.
    QList<QTreeWidgetItem*> retired_items_;
    // `repair_offer`: the question that offers a repair, or empty.
    void store_check_finished(const QStringList& lines, const QString& repair_offer);
    struct OverviewResult;
    void overview_finished(OverviewResult& result);
    void mark_tree_wells(const QHash<QString, QString>& marks);
    void mark_tree_wells(QHash<QString, QString> marks, const TreeMarkChanges& changes);
    bool overview_again_ = false;
    // The silent wells of the last overview: folder -> the tip of its mark.
    QHash<QString, QString> well_marks_;
    std::vector<catalogue::WellOverviewRow> overview_rows_;
    // The rows of the overview before, until the next overview's thread frees them.
    std::vector<catalogue::WellOverviewRow> retired_rows_;
    int overview_hours_ = default_silence_hours;
    TOverviewForm* overview_ = nullptr;
};
