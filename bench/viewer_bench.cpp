// The log viewer on a real-time file of 1,000,000 records x 40 parameters (about 200 MB;
// nine curves in three tracks, 1000 x 700 pixels, offscreen):
//   - open to first paint (a first look at the file's start read on the opening's thread,
//     window, first picture) and to the whole file's picture (read whole, put in its place);
//   - first paint from a loaded model (plot data built, first picture);
//   - redraw after a zoom and after a pan (medians);
//   - peak memory of an opened viewer against the file's size.
// Where QCustomPlot and Qt Charts are installed, the two plotting libraries Debian ships for
// Qt 6 draw the same nine curves at the same size for comparison.
//
//   viewer_bench [repetitions] [--own-only]

#include "Bench_support.h"

#include "storage/Realtimedatareader.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"
#include "ui/viewer/Log_data.h"
#include "ui/viewer/Log_viewer.h"
#include "ui/viewer/Track_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#ifdef DRAVINEX_BENCH_PLOTTING_LIBRARIES
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QValueAxis>
#include <qcustomplot.h>
#endif

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::size_t record_count = 1000000;
constexpr std::size_t param_count = 40;
constexpr int curve_count = 9;
const QSize plot_size(1000, 700);

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

struct Figures {
    double first = 0;     // seconds to the first picture
    double zoom = 0;      // median redraw after a zoom
    double pan = 0;       // median redraw after a pan
};

// Alternately zooms in and out around the middle, and pans by a tenth, timing each redraw.
template <typename SetRange, typename Redraw>
void time_redraws(int repetitions, double first, double last, SetRange set_range, Redraw redraw, Figures& figures)
{
    std::vector<double> zooms, pans;
    const double middle = (first + last) / 2;
    for (int i = 0; i < repetitions; ++i) {
        const double half = (last - first) / (i % 2 == 0 ? 4 : 2);
        zooms.push_back(bench::seconds_of([&] {
            set_range(middle - half, middle + half);
            redraw();
        }));
        pans.push_back(bench::seconds_of([&] {
            set_range(middle - half + half / 5, middle + half + half / 5);
            redraw();
        }));
    }
    figures.zoom = bench::median(zooms);
    figures.pan = bench::median(pans);
}

Figures own_track_view(const FileStorage& model, int repetitions)
{
    Figures figures;
    std::unique_ptr<viewer::LogData> data;
    viewer::TrackView view;
    view.resize(plot_size);
    figures.first = bench::seconds_of([&] {
        data = std::make_unique<viewer::LogData>(model, data_file::IndexKind::time);
        std::vector<QString> names(static_cast<std::size_t>(data->param_count()), "X");
        view.set_data(data.get(), names, names);
        view.set_tracks({{0, 1, 2}, {3, 4, 5}, {6, 7, 8}});
        view.grab();
    });
    const auto [first, last] = data->index_range();
    time_redraws(
        repetitions, first, last, [&](double top, double bottom) { view.set_view_range(top, bottom); },
        [&] { view.grab(); }, figures);
    return figures;
}

#ifdef DRAVINEX_BENCH_PLOTTING_LIBRARIES
Figures custom_plot(const FileStorage& model, int repetitions)
{
    Figures figures;
    QCustomPlot plot;
    plot.resize(plot_size);
    figures.first = bench::seconds_of([&] {
        QVector<double> keys;
        keys.reserve(static_cast<qsizetype>(model.records.size()));
        for (const auto& record : model.records)
            keys.push_back(record->time);
        for (int c = 0; c < curve_count; ++c) {
            QVector<double> values;
            values.reserve(keys.size());
            for (const auto& record : model.records)
                values.push_back(record->values[static_cast<std::size_t>(c)]);
            plot.addGraph(plot.yAxis, plot.xAxis)->setData(keys, values, true);
        }
        plot.rescaleAxes();
        plot.replot();
        plot.grab();
    });
    const double first = model.records.front()->time;
    const double last = model.records.back()->time;
    time_redraws(
        repetitions, first, last, [&](double top, double bottom) { plot.yAxis->setRange(top, bottom); },
        [&] {
            plot.replot();
            plot.grab();
        },
        figures);
    return figures;
}

Figures qt_charts(const FileStorage& model, int repetitions)
{
    Figures figures;
    auto* chart = new QChart;
    QChartView view(chart);
    view.resize(plot_size);
    auto* index_axis = new QValueAxis;
    auto* value_axis = new QValueAxis;
    chart->addAxis(index_axis, Qt::AlignLeft);
    chart->addAxis(value_axis, Qt::AlignBottom);
    figures.first = bench::seconds_of([&] {
        for (int c = 0; c < curve_count; ++c) {
            QList<QPointF> points;
            points.reserve(static_cast<qsizetype>(model.records.size()));
            for (const auto& record : model.records)
                points.append(QPointF(record->values[static_cast<std::size_t>(c)], record->time));
            auto* series = new QLineSeries;
            series->replace(points);
            chart->addSeries(series);
            series->attachAxis(index_axis);
            series->attachAxis(value_axis);
        }
        index_axis->setRange(model.records.front()->time, model.records.back()->time);
        value_axis->setRange(0, 250);
        view.grab();
    });
    const double first = model.records.front()->time;
    const double last = model.records.back()->time;
    time_redraws(
        repetitions, first, last, [&](double top, double bottom) { index_axis->setRange(top, bottom); },
        [&] { view.grab(); }, figures);
    return figures;
}

#endif

void print(const char* what, const Figures& figures)
{
    std::printf("%-30s first paint %8.1f ms   redraw after zoom %7.1f ms   after pan %7.1f ms\n", what,
                figures.first * 1000, figures.zoom * 1000, figures.pan * 1000);
}

struct Opening {
    double first = 0; // seconds to the first picture
    double whole = 0; // seconds to the whole file's picture
};

// Opens the viewer as the window does (the file read on the opening's thread), paints its
// first picture and then the whole file's; the window, or null.
viewer::LogViewer* open_and_paint(const QString& path, Opening* times = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    viewer::ViewerOpening* opening = open_viewer(path);
    if (opening == nullptr)
        return nullptr;
    viewer::LogViewer* window = nullptr;
    bool whole = false;
    QEventLoop loop;
    QObject::connect(opening, &viewer::ViewerOpening::opened, &loop, [&](viewer::LogViewer* opened) {
        window = opened;
        loop.quit();
    });
    QObject::connect(opening, &viewer::ViewerOpening::whole_file_shown, &loop, [&] {
        whole = true;
        loop.quit();
    });
    QObject::connect(opening, &viewer::ViewerOpening::failed, &loop, &QEventLoop::quit);
    loop.exec();
    if (window == nullptr)
        return nullptr;
    window->grab();
    if (times != nullptr)
        times->first = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    if (!whole)
        loop.exec();
    window->grab();
    if (times != nullptr)
        times->whole = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    return window;
}

// Child run: opens the viewer on `path` (or nothing), paints it, prints the peak memory.
int peak_viewer(const QString& path)
{
    if (!path.isEmpty() && open_and_paint(path) == nullptr)
        return 1;
    std::printf("%lld\n", bench::own_peak_kilobytes());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 2 && args[1] == "--peak-viewer")
        return peak_viewer(args.size() >= 3 ? args[2] : QString());
    const int repetitions = args.size() >= 2 ? std::max(1, args[1].toInt()) : 9;
    const bool own_only = args.contains("--own-only");

    bench::ScratchDir dir;
    const std::string path = dir.file("well.realtim");
    testkit::write_file(path, testkit::realtime_file(testkit::synthetic_params(param_count),
                                                     testkit::synthetic_records(record_count, param_count, 17),
                                                     {"Месторождение=Южное"}, 2));
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::printf("real-time file: %zu records x %zu parameters, %.1f MB; %d curves at %dx%d; %d repetitions\n",
                record_count, param_count, megabytes, curve_count, plot_size.width(), plot_size.height(), repetitions);

    std::vector<double> firsts, wholes;
    for (int i = 0; i < std::max(3, repetitions / 3); ++i) {
        Opening times;
        delete open_and_paint(QString::fromStdString(path), &times);
        firsts.push_back(times.first);
        wholes.push_back(times.whole);
    }
    std::printf("%-30s %8.1f ms (median; target <= 150 ms)\n", "viewer: open to first paint", bench::median(firsts) * 1000);
    std::printf("%-30s %8.1f ms (median)\n", "viewer: open to whole file", bench::median(wholes) * 1000);

    FileStorage model;
    model.load(path);
    print("own QPainter tracks", own_track_view(model, repetitions));
    std::printf("%-30s (targets: redraw after a zoom or a pan <= 16 ms)\n", "");
#ifdef DRAVINEX_BENCH_PLOTTING_LIBRARIES
    if (!own_only) {
        print("QCustomPlot 2.1", custom_plot(model, repetitions));
        print("Qt Charts 6.4", qt_charts(model, std::min(repetitions, 3)));
    }
#else
    static_cast<void>(own_only);
    std::printf("QCustomPlot and Qt Charts are not installed here: our viewer only\n");
#endif

    const long long baseline = bench::child_peak_bytes({"--peak-viewer"});
    const long long peak = bench::child_peak_bytes({"--peak-viewer", path});
    std::printf("peak memory of an opened viewer: %.1f MB above an empty run, %.2f x the file (target < 3 x)\n",
                static_cast<double>(peak - baseline) / 1e6, static_cast<double>(peak - baseline) / (megabytes * 1e6));
    return 0;
}
