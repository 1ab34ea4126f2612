// dravinex-viewer-shot FILE OUT.png [--sample DIR] [--zoom FACTOR] [--table 1]: opens FILE in
// the viewer (on its table page with --table), lets it paint, and saves the window as OUT.png. With --sample, first writes a sample
// real-time file of the test kit to DIR/well.realtim and opens that.

#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"
#include "ui/viewer/Log_viewer.h"
#include "ui/viewer/Track_view.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>

#include <cmath>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: dravinex-viewer-shot FILE OUT.png [--sample DIR] [--zoom FACTOR] [--table 1]\n");
        return 2;
    }
    QString file = args[1];
    const QString out = args[2];
    double zoom = 1;
    bool table = false;
    for (int i = 3; i + 1 < args.size(); i += 2) {
        if (args[i] == "--table")
            table = args[i + 1] == "1";
        if (args[i] == "--zoom")
            zoom = args[i + 1].toDouble();
        if (args[i] == "--sample") {
            QDir().mkpath(args[i + 1]);
            file = QDir(args[i + 1]).filePath("well.realtim");
            auto records = testkit::synthetic_records(3000, 12, 7);
            for (std::size_t r = 1200; r < 1260; ++r)
                records[r].values[1] = NAN; // a dropout, drawn as a gap
            testkit::write_file(file.toStdString(),
                                testkit::realtime_file(testkit::synthetic_params(12), records,
                                                       {"Месторождение=Южное", "Куст=12", "Скважина=1203-бис"}, 2));
        }
    }
    const std::unique_ptr<viewer::LogViewer> opened = viewer::load_viewer(file);
    if (!opened)
        return 1;
    viewer::LogViewer* window = opened.get();
    window->show();
    auto* tracks = window->track_view();
    const auto [top, bottom] = tracks->view_range();
    tracks->zoom(zoom, (top + bottom) / 2);
    tracks->set_cursor(top + (bottom - top) * 0.4);
    emit tracks->cursor_moved(*tracks->cursor());
    if (table)
        for (QWidget* w = tracks; w != nullptr; w = w->parentWidget())
            if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
                tabs->setCurrentIndex(1);
                break;
            }
    QTimer::singleShot(300, [&] {
        window->grab().save(out, "PNG");
        app.quit();
    });
    return app.exec();
}
