// Creation and destruction of the main window, its menu commands, the command line, the
// hand-off from other copies and the saved settings and layout.
#include "ui/Main.h"

#include "settings/Configuration.h"
#include "ui/Controlworks.h"
#include "ui/Dialog1.h"
#include "ui/Inioptions.h"
#include "lib/Fileworks.h"
#include "lib/Profile.h"
#include "platform/Process.h"
#include "platform/Session.h"
#include "ui/Controls.h"
#include "ui/Dialog2.h"
#include "ui/Progressform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QTreeWidget>

#include <filesystem>

namespace {

constexpr int tree_width = 207;

} // namespace

TDravinexMainForm::TDravinexMainForm(const ProgramFolders& folders, QStringList arguments, QWidget* parent)
    : QMainWindow(parent),
      folders_(folders),
      arguments_(std::move(arguments)),
      job_(extract_home(folders_), cache, &owner_)
{
    setObjectName(QString::fromLatin1(layout_keys::section));
    connect_jobs();
    build_images();
    build_controls();
    build_menu();
    setWindowTitle(ui_text(main_text::caption_prefix) + file_version_text(4));
    apply_interface_style(*this);
    set_grid_titles();
    Grid->verticalHeader()->setDefaultSectionSize(QFontMetrics(Grid->font()).height() + 4);

    cache.load(folders_.cache);
    try {
        configuration().load(folders_.settings);
    }
    catch (const std::exception& error) {
        note_home_problem(ui_text(main_text::settings_not_read), error);
    }
    package_dir = configuration().from_path;
    rebuild_tree();
    refresh_package_list();
    setAcceptDrops(true);
    load_layout();
    store_data_path();
    connect(&notifier_, &DesktopNotifier::not_shown, this,
            [this](const QString& why) { add_journal_line(QString::fromUtf8(main_text::notice_not_shown) + why); });
}

TDravinexMainForm::~TDravinexMainForm()
{
    // Whatever is still going on ends before what its work uses goes: each job is told to
    // stop (an open question of a run is taken as read, a copy stops after its file, a
    // check between two files) and joined. Nothing queued for the window runs now: a
    // finished run's follow-up could start the next waiting package during teardown.
    job_.cancel();
    for (background::Job* task : {&extract_task_, &check_task_, &tree_task_, &list_task_, &copy_task_, &trash_task_,
                                  &overview_task_}) {
        task->disconnect(this);
        task->cancel();
    }
    for (background::Job* task : {&extract_task_, &check_task_, &tree_task_, &list_task_, &copy_task_, &trash_task_,
                                  &overview_task_})
        task->wait();
    qDeleteAll(std::exchange(retired_items_, {}));
    save_settings();
    // Every run saves the cache when it ends; saving it again here would only overwrite what
    // a dravinex-cli run or a watch of the same home saved since.
    save_layout();
    std::error_code ignored;
    std::filesystem::remove(folders_.handle, ignored);
}

void TDravinexMainForm::connect_jobs()
{
    connect(&extract_task_, &background::Job::asked, this, &TDravinexMainForm::show_job_question);
    connect(&extract_task_, &background::Job::notice, this, &TDravinexMainForm::add_journal_line);
    connect(&extract_task_, &background::Job::error, this, [this](const QString& text) {
        ExtractResult failed;
        failed.outcome = ExtractResult::Outcome::no_lock;
        failed.errors.push_back(text.toStdString());
        extraction_finished(failed);
    });
    for (background::Job* task : {&check_task_, &tree_task_, &list_task_, &copy_task_, &trash_task_, &overview_task_})
        connect(task, &background::Job::finished, this, [this] {
            if (close_pending_)
                close_when_done();
        });
}

bool TDravinexMainForm::working() const
{
    for (const background::Job* task : {&extract_task_, &check_task_, &tree_task_, &list_task_, &copy_task_,
                                        &trash_task_, &overview_task_})
        if (task->running())
            return true;
    return false;
}

void TDravinexMainForm::show_job_question(const std::shared_ptr<background::Query>& query)
{
    // The run waits here until the user has read the message, as it would on its own thread.
    if (query->answered())
        return;
    QWidget* owner = progress_ ? static_cast<QWidget*>(progress_.get()) : this;
    QMessageBox::critical(owner, query->caption(), query->text());
    query->answer(QMessageBox::Ok);
}

void TDravinexMainForm::note_home_not_writable()
{
    if (home_problem_noted_)
        return;
    home_problem_noted_ = true;
    add_journal_line(ui_text(main_text::home_not_writable) + QString::fromStdString(folders_.home));
}

void TDravinexMainForm::note_home_problem(const QString& what, const std::exception& error)
{
    // A read-only program folder would otherwise repeat the same line at every save.
    if (home_problem_noted_)
        return;
    home_problem_noted_ = true;
    add_journal_line(what + QString::fromStdString(lib::io::describe_error(error)));
}

void TDravinexMainForm::save_settings()
{
    try {
        configuration().save(folders_.settings);
    }
    catch (const std::exception& error) {
        note_home_problem(ui_text(main_text::settings_not_saved), error);
    }
}

void TDravinexMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shown_once_) {
        shown_once_ = true;
        apply_panel_sizes();
        Splitter4->setSizes({tree_width, std::max(16, Splitter4->width() - tree_width)});
        // The grid takes its final width once the splitters have laid it out.
        QMetaObject::invokeMethod(this, [this] { fit_grid(); }, Qt::QueuedConnection);
        QCoreApplication::postEvent(this, new QEvent(run_command_line_event));
    }
}

void TDravinexMainForm::closeEvent(QCloseEvent* event)
{
    // What can stop is told to; the window stays, saying what it waits for, until what
    // cannot (a run, a repair's file, a copy's file) has ended, and then closes.
    if (!close_pending_) {
        close_pending_ = true;
        pending.clear();
        for (background::Job* task : {&check_task_, &tree_task_, &list_task_, &copy_task_, &trash_task_, &overview_task_})
            task->cancel();
        // A run that still waits for another run's lock gives up; one that unpacks goes on.
        job_.cancel();
    }
    if (working()) {
        event->ignore();
        show_closing_wait();
        return;
    }
    if (closing_wait_ != nullptr)
        closing_wait_->close();
    QMainWindow::closeEvent(event);
    if (!event->isAccepted())
        close_pending_ = false;
}

void TDravinexMainForm::close_when_done()
{
    if (!working())
        QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

// A run shows its own progress window; any other work that cannot stop at once says what
// the window waits for.
void TDravinexMainForm::show_closing_wait()
{
    if (extraction_running() || closing_wait_ != nullptr)
        return;
    QString what = ui_text(main_text::closing_other);
    if (copy_task_.running())
        what = ui_text(main_text::closing_copy);
    else if (trash_task_.running())
        what = ui_text(main_text::closing_trash);
    else if (check_task_.running())
        what = ui_text(main_text::closing_check);
    auto* wait = new QProgressDialog(ui_text(main_text::closing_waits) + what, QString(), 0, 0, this);
    wait->setWindowTitle(ui_text(main_text::closing_caption));
    wait->setAttribute(Qt::WA_DeleteOnClose);
    wait->setMinimumDuration(0);
    wait->setWindowModality(Qt::WindowModal);
    closing_wait_ = wait;
    connect(wait, &QObject::destroyed, this, [this] { closing_wait_ = nullptr; });
    wait->show();
}

void TDravinexMainForm::customEvent(QEvent* event)
{
    if (event->type() == run_command_line_event)
        run_command_line();
    else
        QMainWindow::customEvent(event);
}

std::optional<TDravinexMainForm::CommandLinePackage> TDravinexMainForm::command_line_package(const QStringList& arguments)
{
    if (arguments.isEmpty())
        return std::nullopt;
    const std::string file = arguments.front().toStdString();
    const std::string name = arguments.size() == 2 ? arguments[1].toStdString() : std::string();
    // A file that is missing or no package is the run's to report, in the journal.
    if (!is_destination_name(name))
        return CommandLinePackage{file, {}, name};
    return CommandLinePackage{file, single_package_destination(file, name), {}};
}

void TDravinexMainForm::run_command_line()
{
    const auto named = command_line_package(arguments_);
    if (!named)
        return;
    if (!named->bad_name.empty())
        add_journal_line(ui_text(main_text::bad_destination_name) + QString::fromStdString(named->bad_name));
    else
        start_extraction(named->package, named->destination, PackageMode::single);
}

void TDravinexMainForm::receive_hand_off()
{
    if (!isMinimized()) {
        raise();
        activateWindow();
    }
    QApplication::alert(this);
    // ".files" as the forwarding copies append to it: every path since the last call.
    bool found = false;
    const std::vector<std::string> paths = platform::take_lines_locked(folders_.files, found);
    for (const std::string& path : paths) {
        if (extraction_running())
            pending.push_back(path);
        else
            start_extraction(path, configuration().to_path, PackageMode::handed_over);
    }
}

void TDravinexMainForm::N4Click()
{
    TOptForm dialog(configuration(), this);
    const std::string old_store = configuration().to_path;
    if (!dialog.execute())
        return;
    add_journal_line(ui_text(main_text::new_settings));
    // Kept at once: a crash later must not bring the old folders back.
    save_settings();
    rebuild_tree();
    package_dir = configuration().from_path;
    refresh_package_list();
    store_data_path();
    if (configuration().to_path != old_store)
        offer_cache_clearing();
}

void TDravinexMainForm::offer_cache_clearing()
{
    // The cache knows every package unpacked into the old store: without clearing it, the new
    // store would stay empty.
    if (cache.entries().empty())
        return;
    if (ask_yes_no(this, ui_text(main_text::new_store_caption), ui_text(main_text::new_store_question)))
        N2Click();
}

void TDravinexMainForm::N8Click()
{
    TAboutForm about(this);
    about.exec();
}

void TDravinexMainForm::N10Click()
{
    rebuild_tree();
    refresh_package_list();
}

void TDravinexMainForm::load_layout()
{
    try {
        const lib::Profile ini = lib::Profile::load(folders_.settings);
        load_form_placement(*this, layout_keys::section, ini);
        panel_sizes_.packed = ini.read_int(layout_keys::section, layout_keys::packed_width, panel_sizes_.packed);
        panel_sizes_.unpacked = ini.read_int(layout_keys::section, layout_keys::unpacked_width, panel_sizes_.unpacked);
        panel_sizes_.journal = ini.read_int(layout_keys::section, layout_keys::journal_height, panel_sizes_.journal);
    }
    catch (const std::exception& error) {
        note_home_problem(ui_text(main_text::settings_not_read), error);
    }
    apply_panel_sizes();
}

void TDravinexMainForm::apply_panel_sizes()
{
    // Splitters share out what they have; the packed and journal panels keep their sizes and
    // the unpacked-data panel and the panels above the journal take the rest.
    const int across = std::max(Splitter3->width(), panel_sizes_.packed + panel_sizes_.unpacked);
    const int down = std::max(Splitter1->height(), panel_sizes_.journal + 100);
    Splitter3->setSizes({panel_sizes_.packed, std::max(16, across - panel_sizes_.packed)});
    Splitter1->setSizes({std::max(16, down - panel_sizes_.journal), panel_sizes_.journal});
}

void TDravinexMainForm::save_layout()
{
    try {
        lib::Profile ini = lib::Profile::load(folders_.settings);
        save_form_placement(*this, layout_keys::section, ini);
        ini.write_int(layout_keys::section, layout_keys::packed_width, MyContainer1->width());
        ini.write_int(layout_keys::section, layout_keys::unpacked_width, MyContainer2->width());
        ini.write_int(layout_keys::section, layout_keys::journal_height, MyContainer4->height());
        ini.save(folders_.settings);
    }
    catch (const std::exception& error) {
        note_home_problem(ui_text(main_text::layout_not_saved), error);
    }
}

void TDravinexMainForm::store_data_path()
{
    QSettings registry(QStringLiteral("Korvimeta"), QStringLiteral("Dravinex"));
    registry.setValue(QStringLiteral("DataPath"), QString::fromStdString(configuration().to_path));
}
