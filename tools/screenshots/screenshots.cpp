// Writes the README's screenshots of the window program, made by the program itself:
//   dravinex-screenshots OUTPUT_FOLDER
// Run it under a display (xvfb-run -a). It writes the sample packages into a private
// folder, unpacks them from the main window, selects a well and grabs the main window, the
// settings dialog and the About box, the question of a copy over an earlier copy and the
// journal after it was answered, the viewer on well 7's depth file (two passes over the
// same depths), and the journal naming a damaged package. Nothing outside a temporary
// folder is touched.

#include "settings/Configuration.h"
#include "settings/Configuration_folders.h"
#include "ui/Controlworks.h"
#include "ui/Dialog1.h"
#include "catalogue/Well_overview.h"
#include "lib/Mytime.h"
#include "storage/Realtimedatareader.h"
#include "ui/Overview.h"
#include "ui/Dialog2.h"
#include "ui/Main.h"
#include "ui/viewer/Log_viewer.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QAbstractButton>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QPixmap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QTableWidget>
#include <QTreeWidget>
#include <QWindow>

#include <filesystem>

#include <cstdio>

namespace {

// Runs the event loop until `done` holds or `milliseconds` pass; whether it holds. The
// program's own loop rather than Qt Test's, which the program's build does not bring.
template <typename Condition>
bool wait_for(Condition done, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

void pause(int milliseconds)
{
    wait_for([] { return false; }, milliseconds);
}

bool wait_until_exposed(QWidget& widget)
{
    return wait_for([&] { return widget.windowHandle() != nullptr && widget.windowHandle()->isExposed(); }, 5000);
}

bool save(QWidget& widget, const QString& file)
{
    pause(200);
    const bool saved = widget.grab().save(file);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
    return saved;
}

// The window makes an area's wells when it unfolds: each folded area is unfolded and folded
// again before the search, which leaves the tree as it was.
QTreeWidgetItem* find_item(QTreeWidget& tree, const QString& caption)
{
    if (QTreeWidgetItem* root = tree.topLevelItem(0)) {
        for (int child = 0; child < root->childCount(); ++child) {
            if (QTreeWidgetItem* area = root->child(child); !area->isExpanded()) {
                area->setExpanded(true);
                area->setExpanded(false);
            }
        }
    }
    const auto found = tree.findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

// The screen over the window: a question box together with the window under it.
bool save_screen(const QWidget& window, const QString& file)
{
    pause(200);
    const QRect area = window.frameGeometry();
    const bool saved =
        QApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
    return saved;
}

// Grabs the next question box, with the window behind it, then answers it with `button`.
class QuestionShot {
public:
    QuestionShot(const QWidget& window, QString file, QMessageBox::StandardButton button)
    {
        QObject::connect(&poll_, &QTimer::timeout, [this, &window, file = std::move(file), button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || seen_)
                return;
            seen_ = true;
            poll_.stop();
            saved_ = save_screen(window, file);
            box->button(button)->click();
        });
        poll_.start(50);
    }
    bool seen() const { return seen_; }
    bool saved() const { return saved_; }

private:
    QTimer poll_;
    bool seen_ = false;
    bool saved_ = false;
};

// Copies well 12 twice into the same folder: the second copy asks before replacing, the
// question is grabbed with the window behind it and answered "Да для всех".
bool copy_shots(TDravinexMainForm& window, const QString& well, const QString& target, const QString& output)
{
    // The copy runs off the GUI thread: each is waited for.
    window.shell_copy({well}, target);
    wait_for([&] { return !window.copy_running(); }, 60000);
    const QuestionShot question(window, output + QStringLiteral("/copy-question.png"), QMessageBox::YesToAll);
    window.shell_copy({well}, target);
    wait_for([&] { return !window.copy_running(); }, 60000);
    return question.saved() && save(window, output + QStringLiteral("/copy-answered.png"));
}

// The menu "Данные" open, its keys beside its items.
bool menu_shot(TDravinexMainForm& window, const QString& output)
{
    auto* menu = window.findChild<QMenu*>(QStringLiteral("mnuData"));
    if (menu == nullptr)
        return false;
    window.menuBar()->setActiveAction(menu->menuAction());
    pause(300);
    const bool saved = save_screen(window, output + QStringLiteral("/menu-keys.png"));
    menu->close();
    window.menuBar()->setActiveAction(nullptr);
    return saved;
}

// A well file cut short by a killed append: the store check reports it and offers its
// repair; the question is grabbed with the window behind it and answered "Да".
bool repair_question_shot(TDravinexMainForm& window, const QString& store, const QString& output)
{
    const QString cut = store + QStringLiteral("Северная/12/well.realtim");
    std::error_code ignored;
    const auto size = std::filesystem::file_size(cut.toStdString(), ignored);
    if (ignored || size < 16)
        return false;
    std::filesystem::resize_file(cut.toStdString(), size - 7, ignored);
    const QuestionShot question(window, output + QStringLiteral("/check-repair-question.png"), QMessageBox::Yes);
    window.check_store_click();
    wait_for([&] { return question.seen() && !window.store_check_running(); }, 60000);
    return question.saved();
}

// The samples' records are years old; two wells of an area "Западная" get records of the
// last hours, so that the overview shows current and silent wells side by side.
void write_current_wells(const std::string& store, const std::string& home)
{
    const std::uint32_t now = lib::now_seconds();
    const struct {
        const char* well;
        std::uint32_t age;
        float depth;
        int packages;
    } wells[] = {{"21", 5400, 2310.4f, 14}, {"23", 33000, 1875.0f, 9}};
    for (const auto& w : wells) {
        const std::string folder = store + "Западная/" + w.well + "/";
        std::filesystem::create_directories(folder);
        FileStorage model;
        FileStorageParam weight;
        weight.name = "Вес на крюке";
        model.add_parameter(weight);
        model.param_count = 1;
        for (std::uint32_t i = 0; i < 60; ++i) {
            FileStorageItem item;
            item.time = now - w.age - (59 - i) * 60;
            item.depth_z = w.depth - static_cast<float>(59 - i) * 0.1f;
            item.depth_cur = item.depth_z;
            item.values = {40.f + static_cast<float>(i % 7)};
            model.add_record(item);
        }
        model.save_realtime(folder + "1.realtim");
        model.save_realtime(folder + "1.realdep");
        for (int p = 0; p < w.packages; ++p)
            catalogue::record_arrival(home + catalogue::overview_files::arrivals, folder, now - w.age + 300);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: dravinex-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    QTemporaryDir root;
    for (const char* name : {"home", "in", "config", "data"})
        QDir(root.path()).mkpath(QString::fromLatin1(name));
    qputenv("XDG_CONFIG_HOME", (root.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (root.path() + QStringLiteral("/data")).toUtf8());
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8(main_text::application_title));
    install_russian_translations(application);
    const QString output = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(output);

    const QString samples = QApplication::applicationDirPath() + QStringLiteral("/dravinex-samples");
    if (QProcess::execute(samples, {root.path() + QStringLiteral("/in")}) != 0)
        return 1;
    configuration().from_path = (root.path() + QStringLiteral("/in/")).toStdString();
    configuration().to_path = (root.path() + QStringLiteral("/gtidata/")).toStdString();
    configuration().save((root.path() + QStringLiteral("/home/dravinex2.ini")).toStdString());

    TDravinexMainForm window(program_folders((root.path() + QStringLiteral("/home")).toStdString()), {});
    window.resize(960, 600);
    window.show();
    if (!wait_until_exposed(window))
        return 1;
    bool ok = true;
    window.tbtnExtractClick();
    if (!wait_for([&] { return !window.extraction_running() && !window.lists_updating(); }, 120000))
        return 1;
    if (QTreeWidgetItem* well = find_item(*window.Tree, QStringLiteral("Скважина 12"))) {
        well->parent()->setExpanded(true);
        window.Tree->setCurrentItem(well);
    }
    ok = save(window, output + QStringLiteral("/main-window.png")) && ok;

    TOptForm settings(configuration(), &window);
    settings.Edit1->setText(QString::fromStdString(configuration().from_path));
    settings.Edit2->setText(QString::fromStdString(configuration().to_path));
    settings.SilenceHours->setValue(configuration().silence_hours);
    settings.show();
    ok = wait_until_exposed(settings) && save(settings, output + QStringLiteral("/settings.png")) && ok;
    settings.hide();

    TAboutForm about(&window);
    about.show();
    ok = wait_until_exposed(about) && save(about, output + QStringLiteral("/about.png")) && ok;
    about.hide();

    
    window.move(0, 0);
    ok = copy_shots(window, QString::fromStdString(configuration().to_path) + QStringLiteral("Северная/12"),
                    root.path() + QStringLiteral("/copies"), output)
         && ok;

    const QString depth = QString::fromStdString(configuration().to_path) + QStringLiteral("Южная/7/depth.realdep");
    if (const std::unique_ptr<viewer::LogViewer> viewer = viewer::load_viewer(depth)) {
        viewer->show();
        viewer->resize(1280, 760);
        // One curve per track, so that the two passes of each stand apart.
        viewer->show_params({1, 3, 4, 6}, 1);
        ok = wait_until_exposed(*viewer) && save(*viewer, output + QStringLiteral("/viewer-two-passes.png")) && ok;
        viewer->close();
    }
    else {
        ok = false;
    }

    // A package cut short in transfer: its error box is answered, the journal keeps it.
    QFile damaged(root.path() + QStringLiteral("/in/Северная_12_рейс4.zreg"));
    if (!damaged.open(QIODevice::WriteOnly) || damaged.write("ZREG, cut short in transfer") < 0)
        return 1;
    damaged.close();
    window.refresh_package_list();
    wait_for([&] { return !window.lists_updating(); }, 60000);
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    answer.start(50);
    window.tbtnExtractClick();
    if (!wait_for([&] { return !window.extraction_running() && !window.lists_updating(); }, 120000))
        return 1;
    answer.stop();
    ok = save(window, output + QStringLiteral("/journal-failed-package.png")) && ok;

    ok = menu_shot(window, output) && ok;
    ok = repair_question_shot(window, QString::fromStdString(configuration().to_path), output) && ok;

    write_current_wells(configuration().to_path, (root.path() + QStringLiteral("/home/")).toStdString());
    window.rebuild_tree();
    wait_for([&] { return !window.lists_updating(); }, 60000);
    window.overview_click();
    auto* overview = window.findChild<TOverviewForm*>(QStringLiteral("Overview"));
    if (overview == nullptr
        || !wait_for([&] { return !window.overview_running() && overview->Grid->rowCount() == 5; }, 60000))
        return 1;
    overview->resize(1180, 300);
    ok = wait_until_exposed(*overview) && save(*overview, output + QStringLiteral("/overview.png")) && ok;
    return ok ? 0 : 1;
}
