// The log viewer without a display: opening files, tracks and curves, zoom and pan, the
// cursor's values, exports, and files that cannot be read.

#include "core/support/TempDir.h"
#include "storage/Load_warnings.h"
#include "storage/Realtimedatareader.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"
#include "ui/viewer/Log_data.h"
#include "ui/viewer/Log_viewer.h"
#include "ui/viewer/Record_table.h"
#include "ui/viewer/Track_view.h"

#include <QAction>
#include <QPointer>
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <cmath>
#include <map>
#include <memory>
#include <set>

using testsupport::TempDir;
using viewer::LogViewer;

namespace {

constexpr std::size_t record_count = 500;
constexpr std::size_t param_count = 7;

std::vector<FileStorageItem> fixture_records()
{
    auto records = testkit::synthetic_records(record_count, param_count, 3);
    records[100].values[2] = NAN;
    return records;
}

std::string write_fixture(const TempDir& dir, const std::string& name)
{
    const std::string path = dir.file(name);
    testkit::write_file(path, testkit::realtime_file(testkit::synthetic_params(param_count), fixture_records(),
                                                     {"Куст=12"}, 2));
    return path;
}

std::unique_ptr<LogViewer> open(const std::string& path)
{
    std::unique_ptr<LogViewer> window = viewer::load_viewer(QString::fromStdString(path));
    if (window)
        window->show();
    return window;
}

// The plot data of two loads as the view draws it: samples, passes, their indexes and values.
void compare_plot_data(const viewer::LogData& got, const viewer::LogData& want)
{
    QCOMPARE(got.size(), want.size());
    QCOMPARE(got.param_count(), want.param_count());
    QCOMPARE(got.passes().size(), want.passes().size());
    QVERIFY(got.index() == want.index());
    for (int p = 0; p < want.param_count(); ++p)
        QVERIFY(std::equal(got.column(p).begin(), got.column(p).end(), want.column(p).begin(), want.column(p).end(),
                           [](float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }));
}

// Runs an opening with these reads until it has gone, taking note of what the window showed
// when it opened; `on_open` acts on the window then, as a user could.
struct OpeningRun {
    QPointer<LogViewer> window;
    bool reading_at_open = false;
    std::size_t samples_at_open = 0;
    int whole_shown = 0;
    int failed = 0;
    QString error; // what failed() said
};

OpeningRun run_opening(const std::string& path, viewer::FileReads reads,
                       const std::function<void(LogViewer&)>& on_open = {}, QWidget* parent = nullptr)
{
    OpeningRun run;
    auto* opening = new viewer::ViewerOpening(QString::fromStdString(path), parent, std::move(reads));
    QPointer<viewer::ViewerOpening> alive(opening);
    QObject::connect(opening, &viewer::ViewerOpening::opened, [&run, &on_open](LogViewer* window) {
        run.window = window;
        run.reading_at_open = window->reading();
        run.samples_at_open = window->data().size();
        if (on_open)
            on_open(*window);
    });
    QObject::connect(opening, &viewer::ViewerOpening::whole_file_shown, [&run] { ++run.whole_shown; });
    QObject::connect(opening, &viewer::ViewerOpening::failed, [&run](const QString& error) {
        ++run.failed;
        run.error = error;
    });
    static_cast<void>(QTest::qWaitFor([&alive] { return alive.isNull(); }, 20000));
    return run;
}

} // namespace

namespace {

// A depth file of two passes over 1200-1220 m a day apart, 0.1 m a record, as a well logged
// again: the first pass's value of record i is first_value(i), the second's 50; the second
// pass lies `offset` metres below the first.
template <typename FirstValue>
std::string write_two_passes(const TempDir& dir, float offset, FirstValue first_value)
{
    testkit::RealtimeFile file(2, lib::enc_utf8);
    file.format(2, lib::enc_utf8).params(testkit::synthetic_params(1));
    std::uint32_t time = 1600000000u;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i <= 200; ++i) {
            FileStorageItem record;
            record.time = time++;
            record.stamped = 1;
            record.depth_z = 1200.0f + static_cast<float>(i) * 0.1f + (pass == 0 ? 0.0f : offset);
            record.depth_cur = record.depth_z;
            record.values = {pass == 0 ? first_value(i) : 50.0f};
            file.record(record);
        }
        time += 86400;
    }
    const std::string path = dir.file("depth.realdep");
    file.save(path);
    return path;
}

} // namespace

class ViewerTest : public QObject {
    Q_OBJECT
private slots:
    void opens_a_file_with_its_parameters_in_tracks_of_three()
    {
        TempDir dir;
        const auto window = open(write_fixture(dir, "run1.realtim"));
        QVERIFY(window);
        QVERIFY(window->windowTitle().startsWith("run1.realtim"));
        const auto& tracks = window->track_view()->tracks();
        QCOMPARE(tracks, (std::vector<std::vector<int>>{{0, 1, 2}, {3, 4, 5}, {6}}));
        QCOMPARE(window->data().size(), record_count);
        QCOMPARE(window->data().kind(), data_file::IndexKind::time);

        window->show_params({4, 1}, 1);
        QCOMPARE(window->track_view()->tracks(), (std::vector<std::vector<int>>{{4}, {1}}));
    }

    void depth_files_are_indexed_by_depth_without_values_only_records()
    {
        TempDir dir;
        const auto records = fixture_records();
        testkit::RealtimeFile file(2, lib::enc_utf8);
        file.format(2, lib::enc_utf8).params(testkit::synthetic_params(param_count));
        for (const auto& record : records)
            file.record(record);
        file.values_only(records.back().time + 5, std::vector<float>(param_count, 1.0f)); // depths read as 0
        file.save(dir.file("run1.realdep"));

        const auto window = open(dir.file("run1.realdep"));
        QVERIFY(window);
        QCOMPARE(window->data().kind(), data_file::IndexKind::depth);
        QCOMPARE(window->model().records.size(), record_count + 1);
        QCOMPARE(window->data().size(), record_count);
        const auto lowest = std::min_element(records.begin(), records.end(), [](const auto& a, const auto& b) {
            return a.depth_z < b.depth_z;
        });
        QCOMPARE(window->data().index_range().first, static_cast<double>(lowest->depth_z));
    }

    void the_wheel_zooms_around_the_pointer_and_dragging_pans()
    {
        TempDir dir;
        const auto window = open(write_fixture(dir, "run1.realtim"));
        QVERIFY(window);
        window->resize(1000, 700);
        viewer::TrackView* view = window->track_view();
        const auto [top, bottom] = view->view_range();
        const QPointF point(view->width() / 2.0, view->height() * 0.6);
        const double anchor = view->index_at(point.y());

        QWheelEvent wheel(point, view->mapToGlobal(point), {}, QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
        const auto [zoomed_top, zoomed_bottom] = view->view_range();
        QVERIFY(zoomed_bottom - zoomed_top < (bottom - top) * 0.7);
        QVERIFY(std::abs(view->index_at(point.y()) - anchor) < (bottom - top) * 1e-6);

        QTest::mousePress(view, Qt::LeftButton, {}, point.toPoint());
        QTest::mouseMove(view, (point + QPointF(0, 100)).toPoint());
        QTest::mouseRelease(view, Qt::LeftButton, {}, (point + QPointF(0, 100)).toPoint());
        const auto [panned_top, panned_bottom] = view->view_range();
        QVERIFY(panned_top < zoomed_top);
        QCOMPARE(panned_bottom - panned_top, zoomed_bottom - zoomed_top);
    }

    void the_cursor_reads_every_shown_curve_of_the_nearest_record()
    {
        TempDir dir;
        const auto window = open(write_fixture(dir, "run1.realtim"));
        QVERIFY(window);
        const auto records = fixture_records();
        for (const std::size_t r : {std::size_t{0}, std::size_t{100}, record_count - 1}) {
            window->track_view()->set_cursor(static_cast<double>(records[r].time) + 0.4);
            const auto rows = window->cursor_rows();
            QCOMPARE(rows.size(), std::size_t{3} + param_count);
            QCOMPARE(rows[0].second, viewer::time_text(records[r].time));
            QCOMPARE(rows[2].second, QString::number(r + 1));
            for (std::size_t p = 0; p < param_count; ++p) {
                const QString& text = rows[3 + p].second;
                if (std::isnan(records[r].values[p]))
                    QVERIFY(text.isEmpty());
                else
                    QCOMPARE(text.toFloat(), records[r].values[p]);
            }
        }
    }

    void a_nan_breaks_the_line_and_a_row_gets_at_most_four_points()
    {
        FileStorage model;
        FileStorageParam param;
        param.name = "X";
        model.add_parameter(param);
        for (std::uint32_t t = 0; t < 10000; ++t) {
            FileStorageItem item;
            item.time = t;
            item.values = {t >= 4000 && t < 4100 ? NAN : static_cast<float>(t % 7)};
            model.add_record(item);
        }
        const viewer::LogData data(model, data_file::IndexKind::time);
        viewer::TraceFrame frame;
        frame.index_top = 0;
        frame.index_bottom = 10000;
        frame.rows = 100;
        frame.value_left = 0;
        frame.value_right = 6;
        frame.width = 60;
        const auto lines = viewer::trace(data, 0, frame);
        QCOMPARE(lines.size(), std::size_t{2});
        std::size_t points = 0;
        for (const auto& line : lines) {
            points += line.size();
            for (const auto& point : line) {
                QVERIFY(point.x >= 0 && point.x <= 60);
                QVERIFY(point.y >= -2 && point.y <= 102);
            }
        }
        QVERIFY(points <= 4 * 101);
        QVERIFY(lines[0].back().y <= 40.0f && lines[1].front().y >= 41.0f);
    }

    void every_row_keeps_its_extremes_through_the_large_blocks_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<double>("top");
        QTest::addColumn<double>("bottom");
        // Whole file: rows of thousands of samples walk blocks of 1024 and 32768.
        QTest::newRow("whole file, 7 rows") << 7 << 0.0 << 200000.0;
        QTest::newRow("whole file, 700 rows") << 700 << 0.0 << 200000.0;
        // A window that starts and ends inside blocks.
        QTest::newRow("inside, 300 rows") << 300 << 1234.5 << 98765.5;
    }

    void every_row_keeps_its_extremes_through_the_large_blocks()
    {
        QFETCH(int, rows);
        QFETCH(double, top);
        QFETCH(double, bottom);
        FileStorage model;
        FileStorageParam param;
        param.name = "X";
        model.add_parameter(param);
        constexpr std::uint32_t samples = 200000;
        const auto value_of = [](std::uint32_t t) {
            if (t >= 50000 && t < 50003)
                return NAN; // a short dropout inside a block of 32768
            if (t == 70001)
                return 500.0f; // one spike that only the extremes of a large block carry
            return static_cast<float>((t * 7919u) % 101);
        };
        for (std::uint32_t t = 0; t < samples; ++t) {
            FileStorageItem item;
            item.time = t;
            item.values = {value_of(t)};
            model.add_record(item);
        }
        const viewer::LogData data(model, data_file::IndexKind::time);
        viewer::TraceFrame frame;
        frame.index_top = top;
        frame.index_bottom = bottom;
        frame.rows = rows;
        frame.value_left = 0;
        frame.value_right = 500;
        frame.width = 500;
        // Sample by sample: each row's smallest and largest x.
        std::map<int, std::pair<float, float>> expected;
        const double per_row = rows / (bottom - top);
        for (std::uint32_t t = 0; t < samples; ++t) {
            const int row = static_cast<int>(std::floor((t - top) * per_row));
            if (row < 0 || row >= rows || std::isnan(value_of(t)))
                continue;
            auto [it, added] = expected.try_emplace(row, value_of(t), value_of(t));
            it->second = {std::min(it->second.first, value_of(t)), std::max(it->second.second, value_of(t))};
        }
        std::map<int, std::pair<float, float>> traced;
        std::size_t lines_across_dropout = 0;
        for (const auto& line : viewer::trace(data, 0, frame)) {
            lines_across_dropout += line.front().y < (50000 - top) * per_row && line.back().y > (50003 - top) * per_row;
            for (const viewer::PlotPoint& point : line) {
                const int row = static_cast<int>(std::floor(point.y));
                if (row < 0 || row >= rows)
                    continue;
                auto [it, added] = traced.try_emplace(row, point.x, point.x);
                it->second = {std::min(it->second.first, point.x), std::max(it->second.second, point.x)};
            }
        }
        QCOMPARE(traced.size(), expected.size());
        for (const auto& [row, range] : expected) {
            QVERIFY2(std::abs(traced[row].first - range.first) < 1e-3f && std::abs(traced[row].second - range.second) < 1e-3f,
                     qPrintable(QStringLiteral("row %1: %2..%3, expected %4..%5")
                                    .arg(row).arg(traced[row].first).arg(traced[row].second).arg(range.first).arg(range.second)));
        }
        QCOMPARE(lines_across_dropout, std::size_t{0}); // the dropout is a gap, even inside a large block
    }

    void the_plot_saves_as_png_svg_and_pdf_with_content()
    {
        TempDir dir;
        const auto window = open(write_fixture(dir, "run1.realtim"));
        QVERIFY(window);
        window->resize(1000, 700);
        for (const char* name : {"plot.png", "plot.svg", "plot.pdf"}) {
            const QString path = QString::fromStdString(dir.file(name));
            QCOMPARE(window->save_plot(path), QString());
            QVERIFY(QFileInfo(path).size() > 1000);
        }
        const QImage image(QString::fromStdString(dir.file("plot.png")));
        QVERIFY(!image.isNull());
        std::set<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                colours.insert(image.pixel(x, y));
        // Curves, legends and grid, not a blank page.
        QVERIFY(colours.size() > 20);

        const QString failed = window->save_plot(QString::fromStdString(dir.file("no/such/plot.png")));
        QVERIFY(failed.contains("no/such/plot.png"));
    }

    void the_file_exports_to_csv_and_las_and_a_failure_names_the_file()
    {
        TempDir dir;
        const auto window = open(write_fixture(dir, "run1.realtim"));
        QVERIFY(window);
        QCOMPARE(window->export_file(QString::fromStdString(dir.file("out.csv")), data_export::Format::csv, ';'),
                 QString());
        QVERIFY(testsupport::read_file(dir.file("out.csv")).starts_with("Время;"));
        QCOMPARE(window->export_file(QString::fromStdString(dir.file("out.las")), data_export::Format::las), QString());
        QVERIFY(testsupport::read_file(dir.file("out.las")).starts_with("~Version"));
        const QString error =
            window->export_file(QString::fromStdString(dir.file("missing/out.las")), data_export::Format::las);
        QVERIFY(error.contains("missing/out.las"));
        QVERIFY(!QFileInfo::exists(QString::fromStdString(dir.file("missing/out.las"))));
        const std::string before = testsupport::read_file(dir.file("run1.realtim"));
        QVERIFY(!window->export_file(QString::fromStdString(dir.file("run1.realtim")), data_export::Format::csv).isEmpty());
        QVERIFY(testsupport::read_file(dir.file("run1.realtim")) == before);
    }

    void the_export_menu_offers_witsml_and_the_range_on_screen_in_every_form()
    {
        TempDir dir;
        const auto window = open(write_fixture(dir, "run1.realtim"));
        QVERIFY(window);
        const auto* witsml = window->findChild<QAction*>(QStringLiteral("exportWitsmlAction"));
        QVERIFY(witsml);
        QCOMPARE(witsml->text(), QStringLiteral("WITSML 1.4.1.1 (XML)..."));
        for (const char* name : {"exportButton", "exportMenu", "exportCsvAction", "exportLasAction",
                                 "exportWholeFileAction", "exportVisibleRangeAction"})
            QVERIFY2(window->findChild<QObject*>(QString::fromLatin1(name)), name);

        const QString xml = QString::fromStdString(dir.file("out.xml"));
        QCOMPARE(window->export_file(xml, data_export::Format::witsml), QString());
        const std::string whole = testsupport::read_file(dir.file("out.xml"));
        QVERIFY(whole.starts_with("<?xml"));
        const auto rows = [](const std::string& text) {
            std::size_t count = 0;
            for (auto at = text.find("<data>"); at != std::string::npos; at = text.find("<data>", at + 1))
                ++count;
            return count;
        };
        QCOMPARE(rows(whole), record_count);

        // Zoomed to the middle fifth: each form takes the records on screen, no more.
        const auto [from, to] = window->data().index_range();
        window->track_view()->set_view_range(from + (to - from) * 0.4, from + (to - from) * 0.6);
        const data_export::Range range = window->visible_range();
        QVERIFY(range.time_from && range.time_to && !range.depth_from);
        std::size_t on_screen = 0;
        for (const auto& record : window->model().records)
            on_screen += record->time >= *range.time_from && record->time <= *range.time_to;
        QVERIFY(on_screen > 0 && on_screen < record_count);
        QCOMPARE(window->export_file(xml, data_export::Format::witsml, ',', range), QString());
        QCOMPARE(rows(testsupport::read_file(dir.file("out.xml"))), on_screen);
        QCOMPARE(window->export_file(QString::fromStdString(dir.file("out.csv")), data_export::Format::csv, ',', range),
                 QString());
        const std::string csv = testsupport::read_file(dir.file("out.csv"));
        QCOMPARE(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')), on_screen + 1);
    }

    void a_file_that_cannot_be_loaded_gives_its_error_in_a_message_box()
    {
        TempDir dir;
        const std::string cases[] = {dir.file("none.realtim"), dir.write("notes.txt", "text")};
        for (const std::string& path : cases) {
            QString shown;
            // The file is read in the background first, so the box comes some time later.
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&shown] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    shown = box->text();
                    box->close();
                }
            });
            poll.start(10);
            // A missing file is said at once; a file that is no data file once it is read.
            if (viewer::ViewerOpening* opening = open_viewer(QString::fromStdString(path))) {
                QSignalSpy failed(opening, &viewer::ViewerOpening::failed);
                QSignalSpy opened(opening, &viewer::ViewerOpening::opened);
                QVERIFY(failed.wait(20000));
                QCOMPARE(opened.count(), 0);
            }
            QVERIFY2(shown.contains(QString::fromStdString(path)), qPrintable(shown));
        }
    }

    void a_damaged_file_opens_with_what_was_read_and_says_so()
    {
        TempDir dir;
        const std::string path = write_fixture(dir, "cut.realtim");
        std::string bytes = testsupport::read_file(path);
        bytes.resize(bytes.size() * 2 / 3); // ends inside a record sector
        dir.write("cut.realtim", bytes);
        const auto window = open(path);
        QVERIFY(window);
        QVERIFY(window->data().size() > 0 && window->data().size() < record_count);
        QCOMPARE(window->warnings(), QStringList{QString::fromStdString(storage::warning_text("msg_data_corrupt"))});
    }

    // The model keeps the reader's keys; the warnings page shows each as a Russian sentence.
    void each_reader_warning_reads_as_a_sentence()
    {
        TempDir dir;
        for (const testkit::WarnedFile& file : testkit::realtime_files_with_warnings()) {
            const std::string path = dir.file("well.realtim");
            testkit::write_file(path, file.bytes);
            const auto window = open(path);
            QVERIFY(window);
            const QString sentence = QString::fromStdString(storage::warning_text(file.key));
            QVERIFY2(sentence != QString::fromStdString(file.key), file.key.c_str());
            QVERIFY2(sentence.contains(QRegularExpression("^[А-ЯЁ].*\\.$")), qPrintable(sentence));
            QCOMPARE(window->warnings(), QStringList{sentence});
        }
    }

    // Two passes over 1200-1220 m, as a well logged again on a later day: each pass is its
    // own line in record order, never joined to the other (that drew solid hatching).
    void each_pass_over_the_same_depths_is_a_line_of_its_own()
    {
        TempDir dir;
        const std::string path = write_two_passes(dir, 0.0f, [](int i) { return 10.0f + static_cast<float>(i % 2); });
        const auto window = open(path);
        QVERIFY(window);
        const viewer::LogData& data = window->data();
        QCOMPARE(data.passes().size(), std::size_t{2});
        QCOMPARE(data.index_range().first, 1200.0);

        viewer::TraceFrame frame;
        frame.index_top = 1199;
        frame.index_bottom = 1221;
        frame.rows = 400;
        frame.value_left = 0;
        frame.value_right = 60;
        frame.width = 600;
        const auto lines = viewer::trace(data, 0, frame);
        QCOMPARE(lines.size(), std::size_t{2});
        for (std::size_t l = 0; l < lines.size(); ++l) {
            const float x = l == 0 ? 110.0f : 500.0f; // the first pass near 10-11, the second at 50
            for (std::size_t p = 0; p < lines[l].size(); ++p) {
                QVERIFY(std::abs(lines[l][p].x - x) <= 11.0f);
                if (p > 0)
                    QVERIFY(lines[l][p].y >= lines[l][p - 1].y);
            }
        }
        // The cursor reads the later pass where both have a record.
        window->track_view()->set_cursor(1210.0);
        QCOMPARE(window->cursor_rows().back().second.toFloat(), 50.0f);
    }

    // Two passes whose depths interleave (the second logged 5 cm off the first's): the
    // pointer walked in steps of a pixel's depth never flips the readout to the earlier day.
    void the_cursor_stays_on_the_later_pass_under_small_moves()
    {
        TempDir dir;
        const std::string path = write_two_passes(dir, 0.05f, [](int) { return 10.0f; });
        const auto window = open(path);
        QVERIFY(window);
        QCOMPARE(window->data().passes().size(), std::size_t{2});
        for (double depth = 1200.1; depth < 1219.9; depth += 0.013) {
            window->track_view()->set_cursor(depth);
            QCOMPARE(window->cursor_rows().back().second.toFloat(), 50.0f);
        }
        // Outside the later pass, the earlier one is read.
        window->track_view()->set_cursor(1200.0);
        QCOMPARE(window->cursor_rows().back().second.toFloat(), 10.0f);
    }

    void escape_and_ctrl_w_close_the_viewer_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Esc") << int(Qt::Key_Escape) << int(Qt::NoModifier);
        QTest::newRow("Ctrl+W") << int(Qt::Key_W) << int(Qt::ControlModifier);
    }

    void escape_and_ctrl_w_close_the_viewer()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        TempDir dir;
        const auto window = open(write_fixture(dir, "run1.realtim"));
        QVERIFY(window);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window->track_view(), static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY(!window->isVisible());
    }

    void the_legends_keep_the_names_at_two_and_three_curves_per_track_data()
    {
        QTest::addColumn<int>("per_track");
        QTest::newRow("two") << 2;
        QTest::newRow("three") << 3;
    }

    void the_legends_keep_the_names_at_two_and_three_curves_per_track()
    {
        QFETCH(int, per_track);
        TempDir dir;
        const auto window = open(write_fixture(dir, "run1.realtim"));
        QVERIFY(window);
        window->resize(1280, 760);
        QCoreApplication::processEvents();
        window->show_params({0, 1, 2, 3, 4, 5, 6}, per_track);
        const auto shown = window->track_view()->legend_names(window->track_view()->size());
        QCOMPARE(shown.size(), param_count);
        const auto params = testkit::synthetic_params(param_count);
        for (std::size_t p = 0; p < param_count; ++p)
            QCOMPARE(shown[p], QString::fromStdString(params[p].name + ", " + params[p].text1));
    }

    // A file longer than the first look opens on its start, marked as being read; the whole
    // file then takes its place, equal to a load of the whole, with the curves the user chose
    // and a zoom the user made kept.
    void a_long_file_opens_on_its_start_and_then_shows_it_whole_data()
    {
        QTest::addColumn<bool>("user_zooms");
        QTest::newRow("view untouched") << false;
        QTest::newRow("zoomed meanwhile") << true;
    }

    void a_long_file_opens_on_its_start_and_then_shows_it_whole()
    {
        QFETCH(bool, user_zooms);
        TempDir dir;
        const std::string path = write_fixture(dir, "run1.realtim");
        const auto whole = viewer::load_viewer(QString::fromStdString(path));
        QVERIFY(whole);
        std::pair<double, double> zoomed;
        viewer::LogData* first_look = nullptr;
        // The whole read waits for the first look to be on show, as a long read would.
        viewer::FileReads reads = viewer::file_reads(10000);
        auto on_show = std::make_shared<std::atomic<bool>>(false);
        reads.whole = [on_show, whole_read = reads.whole](const QString& file, viewer::LoadedFile& loaded) {
            while (!*on_show)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            whole_read(file, loaded);
        };
        const OpeningRun run = run_opening(path, reads, [&](LogViewer& window) {
            window.show_params({5, 6}, 1);
            if (user_zooms) {
                window.track_view()->zoom(4, window.track_view()->view_range().first);
                zoomed = window.track_view()->view_range();
            }
            first_look = const_cast<viewer::LogData*>(&window.data());
            QVERIFY(window.export_file(QString::fromStdString(dir.file("early.csv")), data_export::Format::csv)
                        .contains(QStringLiteral("не прочитан целиком")));
            QVERIFY(window.statusBar()->currentMessage().startsWith(QStringLiteral("Файл читается")));
            // Its records are the file's first ones, each where a whole load has it.
            const viewer::LogData& shown = window.data();
            for (std::size_t s = 0; s < shown.size(); ++s) {
                QCOMPARE(shown.index()[s], whole->data().index()[s]);
                QCOMPARE(shown.column(5)[s], whole->data().column(5)[s]);
            }
            *on_show = true;
        });
        QVERIFY(run.window);
        QVERIFY(run.reading_at_open);
        QVERIFY(run.samples_at_open > 0 && run.samples_at_open < record_count);
        QCOMPARE(run.whole_shown, 1);
        QVERIFY(first_look != nullptr);

        LogViewer& window = *run.window;
        QVERIFY(!window.reading());
        compare_plot_data(window.data(), whole->data());
        QCOMPARE(window.model().records.size(), whole->model().records.size());
        QCOMPARE(window.warnings(), whole->warnings());
        QCOMPARE(window.track_view()->tracks(), (std::vector<std::vector<int>>{{5}, {6}}));
        QCOMPARE(window.track_view()->view_range(),
                 user_zooms ? zoomed : whole->track_view()->view_range());
        QVERIFY(!window.statusBar()->currentMessage().contains(QStringLiteral("читается")));
        // The picture too, drawn from lines traced while the file was read: the same as a
        // window of the whole file draws at the same size.
        whole->show_params({5, 6}, 1);
        whole->resize(window.size());
        whole->show();
        QVERIFY(QTest::qWaitForWindowExposed(whole.get()));
        QCOMPARE(whole->track_view()->size(), window.track_view()->size());
        whole->track_view()->set_view_range(window.track_view()->view_range().first,
                                            window.track_view()->view_range().second);
        QCOMPARE(window.track_view()->grab().toImage(), whole->track_view()->grab().toImage());
        QCOMPARE(window.export_file(QString::fromStdString(dir.file("whole.csv")), data_export::Format::csv), QString());
        delete run.window;
    }

    // The whole read fails after the first look is on show (the file went, the memory ran
    // out): the window keeps the start it shows, says that it is only the start and why, and
    // exports nothing that would pass for the whole file. Without a first look the failure
    // is said in a box, as for a file that cannot be read.
    void a_read_that_fails_after_the_first_look_keeps_it_and_says_why_data()
    {
        QTest::addColumn<bool>("throws");
        QTest::newRow("read reports an error") << false;
        QTest::newRow("read throws") << true;
    }

    void a_read_that_fails_after_the_first_look_keeps_it_and_says_why()
    {
        QFETCH(bool, throws);
        TempDir dir;
        const std::string path = write_fixture(dir, "run1.realtim");
        viewer::FileReads reads = viewer::file_reads(10000);
        reads.whole = [throws](const QString&, viewer::LoadedFile& loaded) {
            if (throws)
                throw std::runtime_error("нехватка памяти");
            loaded.error = QStringLiteral("нехватка памяти");
        };
        const OpeningRun run = run_opening(path, reads);
        QVERIFY(run.window);
        QCOMPARE(run.whole_shown, 1);
        LogViewer& window = *run.window;
        QVERIFY(!window.reading());
        QCOMPARE(window.data().size(), run.samples_at_open);
        QVERIFY2(window.warnings().join('\n').contains(QStringLiteral("только его начало: нехватка памяти")),
                 qPrintable(window.warnings().join('\n')));
        QVERIFY(!window.export_file(QString::fromStdString(dir.file("part.csv")), data_export::Format::csv).isEmpty());
        QVERIFY(!QFileInfo::exists(QString::fromStdString(dir.file("part.csv"))));
        delete run.window;

        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->close();
        });
        poll.start(10);
        reads.first_look = [](const QString&) { return std::unique_ptr<viewer::LoadedFile>(); };
        // Opened from a window: a failure alone would end the test's event loops.
        QWidget parent;
        const OpeningRun alone = run_opening(path, reads, {}, &parent);
        QCOMPARE(alone.failed, 1);
        QVERIFY(!alone.window);
        QVERIFY2(alone.error.contains(QStringLiteral("нехватка памяти")), qPrintable(alone.error));
    }

    // The window is closed while the file is still read: the read ends on its thread, its
    // result is dropped, no window comes back and the opening goes.
    void closing_the_viewer_while_it_reads_drops_the_read()
    {
        TempDir dir;
        const std::string path = write_fixture(dir, "run1.realtim");
        viewer::FileReads reads = viewer::file_reads(10000);
        auto release = std::make_shared<std::atomic<bool>>(false);
        auto read_ended = std::make_shared<std::atomic<bool>>(false);
        const auto whole_read = reads.whole;
        reads.whole = [release, read_ended, whole_read](const QString& file, viewer::LoadedFile& loaded) {
            while (!*release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            whole_read(file, loaded);
            *read_ended = true;
        };
        const OpeningRun run = run_opening(path, reads, [release](LogViewer& window) {
            window.close(); // deletes itself on close
            QTimer::singleShot(50, [release] { *release = true; });
        });
        QVERIFY(run.reading_at_open);
        QVERIFY(*read_ended);
        QVERIFY(!run.window);
        QCOMPARE(run.whole_shown, 0);
        QCOMPARE(run.failed, 0);
        for (QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<LogViewer*>(widget) || !widget->isVisible());
    }

    void the_save_dialogs_open_at_the_folder_last_used()
    {
        TempDir dir;
        const auto window = open(write_fixture(dir, "run1.realtim"));
        QVERIFY(window);
        // The first export goes to the documents, never into the store beside the data file.
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QCOMPARE(QFileInfo(window->suggested_path(".csv")).absolutePath(),
                 QFileInfo(documents).isDir() ? QFileInfo(documents).absoluteFilePath() : QDir::homePath());
        TempDir exports;
        QCOMPARE(window->export_file(QString::fromStdString(exports.file("out.las")), data_export::Format::las),
                 QString());
        const QString expected = QFileInfo(QString::fromStdString(exports.file("out.las"))).absolutePath();
        QCOMPARE(QFileInfo(window->suggested_path(".csv")).absolutePath(), expected);
        QCOMPARE(QFileInfo(window->suggested_path(".png")).fileName(), QStringLiteral("run1.realtim.png"));

        // A later window, as in a later session, opens there too; a plot saved elsewhere moves it.
        const auto other = open(write_fixture(dir, "run2.realtim"));
        QVERIFY(other);
        QCOMPARE(QFileInfo(other->suggested_path(".las")).absolutePath(), expected);
        TempDir plots;
        QCOMPARE(other->save_plot(QString::fromStdString(plots.file("plot.png"))), QString());
        QCOMPARE(QFileInfo(window->suggested_path(".csv")).absolutePath(),
                 QFileInfo(QString::fromStdString(plots.file("plot.png"))).absolutePath());
    }
};

int main(int argc, char** argv)
{
    // The viewer keeps its export folder in the user's settings: a private folder for them.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ViewerTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "viewer_test.moc"
