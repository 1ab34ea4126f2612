// The window program's own costs, each against a floor measured in the same run:
//   window_bench [repetitions]
// - rebuild_tree over a store of 200 areas x 50 wells with their silence marks (every well
//   of this store is silent: it holds no record), from the call to the tree on show with the
//   well of 5,000 files selected again in its unfolded area and its files listed anew,
//   against listing the same folders with std::filesystem; the overview that follows a
//   rebuild is let finish before the next one, as it runs on a thread of its own;
// - TreeChange on a well of 5,000 files, against listing that well with std::filesystem;
// - the GUI thread's longest stall while a 100 MB .zreg package unpacks, while the viewer
//   opens a 200 MB data file, while a 1 GB store is copied and while the tree is rebuilt
//   over 200 x 50 wells (and its marks follow the overview), each measured by a timer that
//   records the gaps between its ticks, against the same timer's longest gap with nothing
//   running (target: at most that idle floor + 4 ms).
// Runs without a display (offscreen) and with private XDG folders.

#include "Bench_support.h"

#include "settings/Configuration.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"
#include "testkit/Zreg_writer.h"
#include "ui/Main.h"
#include "ui/viewer/Log_viewer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

constexpr int areas = 200;
constexpr int wells_per_area = 50;
constexpr int well_files = 5000;
constexpr std::size_t package_members = 20;
constexpr std::size_t member_bytes = 5 * 1000 * 1000;

namespace fs = std::filesystem;

void make_store(const fs::path& store)
{
    for (int a = 0; a < areas; ++a) {
        for (int w = 0; w < wells_per_area; ++w)
            fs::create_directories(store / ("Площадь" + std::to_string(a)) / ("Скважина" + std::to_string(w)));
    }
    const fs::path big = store / "Площадь0" / "Скважина0";
    const char* kinds[] = {".tim", ".realtim", ".rac", ".rem", ".dep", ".txt"};
    for (int i = 0; i < well_files; ++i)
        std::ofstream(big / (std::to_string(i / 6) + "_" + std::to_string(i) + kinds[i % 6]));
}

// What listing the tree's folders costs at least: the areas, then each area's wells.
std::size_t list_tree_floor(const fs::path& store)
{
    std::size_t found = 0;
    for (const auto& area : fs::directory_iterator(store)) {
        if (!area.is_directory())
            continue;
        ++found;
        for (const auto& well : fs::directory_iterator(area.path()))
            found += well.is_directory() ? 1 : 0;
    }
    return found;
}

std::size_t list_well_floor(const fs::path& well)
{
    std::vector<std::string> names;
    for (const auto& file : fs::directory_iterator(well)) {
        if (file.is_regular_file())
            names.push_back(file.path().filename().string());
    }
    return names.size();
}

std::string write_big_package(const fs::path& folder)
{
    std::mt19937 random(7);
    std::vector<testkit::ZregMember> members;
    testkit::ZregMember ini;
    ini.name = "inpgti.ini";
    ini.content = testkit::inpgti_ini("1", "Бенч", lib::enc_1251);
    members.push_back(ini);
    for (std::size_t m = 0; m < package_members; ++m) {
        testkit::ZregMember member;
        member.name = "data" + std::to_string(m) + ".bin";
        member.content.resize(member_bytes);
        for (auto& byte : member.content)
            byte = static_cast<unsigned char>(random() & 0xFF);
        members.push_back(std::move(member));
    }
    const std::string path = (folder / "big.zreg").string();
    testkit::write_file(path, testkit::zreg_package(1, members));
    return path;
}

double milliseconds_of(const std::function<void()>& action)
{
    return bench::seconds_of(action) * 1000;
}

constexpr std::size_t viewer_records = 1000000;
constexpr std::size_t viewer_params = 40;
constexpr int store_files = 100;
constexpr std::size_t store_file_bytes = 10 * 1000 * 1000;

// The longest gap between the ticks of a 5 ms timer while `action` runs on the GUI thread:
// how long the window could not draw or take input.
double longest_stall_ms(const std::function<void()>& action)
{
    QElapsedTimer clock;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    double longest = 0;
    qint64 last = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, static_cast<double>(now - last) / 1e6);
        last = now;
    });
    clock.start();
    ticker.start();
    action();
    // The gap from the last tick to the end of the action counts too.
    longest = std::max(longest, static_cast<double>(clock.nsecsElapsed() - last) / 1e6);
    ticker.stop();
    return longest;
}

std::string write_big_data_file(const fs::path& folder)
{
    const std::string path = (folder / "big.realtim").string();
    testkit::write_file(path, testkit::realtime_file(testkit::synthetic_params(viewer_params),
                                                     testkit::synthetic_records(viewer_records, viewer_params, 5),
                                                     {"Месторождение=Бенч"}, 2));
    return path;
}

// A store of 1 GB: two areas of five wells, ten files of 10 MB each.
void make_big_store(const fs::path& store)
{
    std::vector<char> block(store_file_bytes);
    std::mt19937 random(3);
    for (auto& byte : block)
        byte = static_cast<char>(random() & 0xFF);
    for (int f = 0; f < store_files; ++f) {
        const fs::path well = store / ("Площадь" + std::to_string(f / 50)) / ("Скважина" + std::to_string(f / 10));
        fs::create_directories(well);
        block[0] = static_cast<char>(f);
        std::ofstream(well / (std::to_string(f) + ".realtim"), std::ios::binary)
            .write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

void print_stall(const char* what, const std::vector<double>& stalls, double idle)
{
    const double s = bench::median(stalls);
    std::printf("GUI thread's longest stall while %s: %.1f ms; %+.1f ms against the idle floor %.1f ms (target <= +4 ms)\n",
                what, s, s - idle, idle);
}

// Runs the event loop until `done`, waking for every event (QTest's waits sleep 10 ms
// between looks, which would count as time and as stalls).
void wait_until(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Rebuilds the tree and waits until it is on show, then until the overview that follows it
// has marked the wells.
double rebuild_and_wait_ms(TDravinexMainForm& window)
{
    QElapsedTimer clock;
    clock.start();
    window.rebuild_tree();
    wait_until([&] { return !window.tree_scanning(); });
    const double shown = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    wait_until([&] { return !window.overview_running(); });
    return shown;
}

} // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir root;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", (root.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (root.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", root.path().toUtf8());
    QApplication application(argc, argv);

    const fs::path base = root.path().toStdString();
    const fs::path store = base / "store";
    make_store(store);
    configuration().to_path = store.string() + "/";
    configuration().from_path = (base / "in").string() + "/";
    fs::create_directories(base / "home");
    configuration().save((base / "home" / "dravinex2.ini").string());
    TDravinexMainForm window(program_folders((base / "home").string()), {});
    window.show();
    static_cast<void>(QTest::qWaitForWindowExposed(&window));
    static_cast<void>(QTest::qWaitFor([&] { return !window.working(); }, 600000));

    std::vector<double> tree, tree_floor, change, change_floor;
    for (int i = 0; i < repetitions; ++i) {
        tree.push_back(rebuild_and_wait_ms(window));
        tree_floor.push_back(milliseconds_of([&] { list_tree_floor(store); }));
        QTreeWidgetItem* well = window.tree_item(QString::fromStdString((store / "Площадь0" / "Скважина0").string() + "/"));
        window.Tree->blockSignals(true);
        window.Tree->setCurrentItem(well);
        window.Tree->blockSignals(false);
        change.push_back(milliseconds_of([&] { window.TreeChange(); }));
        change_floor.push_back(milliseconds_of([&] { list_well_floor(store / "Площадь0" / "Скважина0"); }));
    }
    // A folded area's wells are made when it unfolds: what that costs the GUI thread, against
    // listing the area's folder. Folded again, so the rebuilds below see the same tree.
    std::vector<double> unfold, unfold_floor;
    for (int i = 0; i < repetitions; ++i) {
        const fs::path folder = store / ("Площадь" + std::to_string(1 + i % (areas - 1)));
        QTreeWidgetItem* area = window.tree_item(QString::fromStdString(folder.string() + "/"));
        unfold.push_back(milliseconds_of([&] { area->setExpanded(true); }));
        unfold_floor.push_back(milliseconds_of([&] { list_well_floor(folder); }));
        area->setExpanded(false);
    }
    std::vector<double> tree_stalls;
    for (int i = 0; i < repetitions; ++i)
        tree_stalls.push_back(longest_stall_ms([&] { rebuild_and_wait_ms(window); }));
    const double t = bench::median(tree), tf = bench::median(tree_floor);
    const double c = bench::median(change), cf = bench::median(change_floor);
    std::printf("rebuild_tree, %d areas x %d wells with their marks: %.1f ms; std::filesystem listing: %.1f ms; ratio %.2f x (target <= 1.5 x)\n",
                areas, wells_per_area, t, tf, t / tf);
    std::printf("unfolding an area of %d wells (their items made then): %.2f ms; std::filesystem listing of it: %.2f ms\n",
                wells_per_area, bench::median(unfold), bench::median(unfold_floor));
    std::printf("TreeChange, a well of %d files: %.1f ms; std::filesystem listing: %.1f ms; ratio %.2f x (target <= 3 x)\n",
                well_files, c, cf, c / cf);

    window.close();
    // The run in a window over a store of its own: the stall is the run's, not the rebuild
    // of the large tree above.
    configuration().to_path = (base / "store2").string() + "/";
    fs::create_directories(base / "home2");
    configuration().save((base / "home2" / "dravinex2.ini").string());
    TDravinexMainForm run_window(program_folders((base / "home2").string()), {});
    run_window.show();
    static_cast<void>(QTest::qWaitForWindowExposed(&run_window));
    static_cast<void>(QTest::qWaitFor([&] { return !run_window.working(); }, 600000));
    const std::string package = write_big_package(base);
    std::vector<double> stalls, runs;
    for (int i = 0; i < std::min(repetitions, 3); ++i) {
        const std::string out = (base / ("out" + std::to_string(i))).string() + "/";
        double longest = 0;
        QElapsedTimer clock;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(5);
        qint64 last = 0;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, static_cast<double>(now - last) / 1e6);
            last = now;
        });
        clock.start();
        ticker.start();
        run_window.start_extraction(package, out, PackageMode::single);
        wait_until([&] { return !run_window.extraction_running(); });
        runs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        ticker.stop();
        fs::remove_all(out);
        stalls.push_back(longest);
    }
    std::printf("extraction of a %.0f MB .zreg: %.0f ms\n", static_cast<double>(fs::file_size(package)) / 1e6,
                bench::median(runs));

    const std::string big_file = write_big_data_file(base);
    std::vector<double> viewer_stalls;
    for (int i = 0; i < std::min(repetitions, 3); ++i) {
        QWidget* viewer = nullptr;
        bool whole = false;
        // Until the whole file is on show: the first look comes early, the whole file after.
        viewer_stalls.push_back(longest_stall_ms([&] {
            viewer::ViewerOpening* opening = open_viewer(QString::fromStdString(big_file), &run_window);
            QObject::connect(opening, &viewer::ViewerOpening::opened, [&viewer](viewer::LogViewer* opened) { viewer = opened; });
            QObject::connect(opening, &viewer::ViewerOpening::whole_file_shown, [&whole] { whole = true; });
            wait_until([&] { return viewer != nullptr; });
            static_cast<void>(QTest::qWaitForWindowExposed(viewer));
            wait_until([&] { return whole; });
            QCoreApplication::processEvents();
        }));
        delete viewer;
    }
    const double viewer_megabytes = static_cast<double>(fs::file_size(big_file)) / 1e6;
    fs::remove(big_file);

    const fs::path big_store = base / "bigstore";
    make_big_store(big_store);
    std::vector<double> copy_stalls;
    for (int i = 0; i < std::min(repetitions, 3); ++i) {
        const fs::path copy = base / ("copy" + std::to_string(i));
        copy_stalls.push_back(
            longest_stall_ms([&] {
                run_window.shell_copy({QString::fromStdString(big_store.string())}, QString::fromStdString(copy.string()));
                wait_until([&] { return !run_window.copy_running(); });
            }));
        fs::remove_all(copy);
    }
    fs::remove_all(big_store);

    // What the same timer shows with nothing to do: on a busy machine the GUI thread also
    // waits for a core, which no change of ours can remove.
    std::vector<double> idle;
    for (int i = 0; i < 3; ++i)
        idle.push_back(longest_stall_ms([] {
            QElapsedTimer clock;
            clock.start();
            wait_until([&] { return clock.elapsed() >= 2000; });
        }));

    const double floor = bench::median(idle);
    std::printf("\nGUI thread's longest stall with nothing done (the idle floor of this machine, 2 s): %.1f ms\n", floor);
    print_stall(("the tree is rebuilt over " + std::to_string(areas) + " x " + std::to_string(wells_per_area) + " wells").c_str(),
                tree_stalls, floor);
    print_stall("a package unpacks", stalls, floor);
    print_stall(("the viewer opens a " + std::to_string(static_cast<int>(viewer_megabytes)) + " MB file").c_str(),
                viewer_stalls, floor);
    print_stall(("a " + std::to_string(store_files * store_file_bytes / 1000000) + " MB store is copied").c_str(),
                copy_stalls, floor);
    return 0;
}
