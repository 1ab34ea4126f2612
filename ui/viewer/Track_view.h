#pragma once
// The log view: tracks side by side under one vertical index axis (time or depth, growing
// downwards), each with one to three curves on scales of their own and a legend on top.
// The wheel zooms around the pointer, dragging pans, and a horizontal cursor follows the
// pointer and reports the index under it. Painting goes through render(), so the same
// picture can be drawn into an image, an SVG or a PDF.

#include "ui/viewer/Log_data.h"

#include <QColor>
#include <QFontMetrics>
#include <QImage>
#include <QPointF>
#include <QWidget>

#include <map>
#include <optional>
#include <vector>

namespace viewer {

class TrackView : public QWidget {
    Q_OBJECT
public:
    static constexpr int max_curves_per_track = 3;

    explicit TrackView(QWidget* parent = nullptr);

    // The data must outlive the view; names and units are shown in the legends.
    void set_data(const LogData* data, std::vector<QString> names, std::vector<QString> units);
    // Parameter indexes per track, one to three each.
    void set_tracks(std::vector<std::vector<int>> tracks);
    const std::vector<std::vector<int>>& tracks() const { return tracks_; }

    // The index range shown, top to bottom.
    std::pair<double, double> view_range() const { return {top_, bottom_}; }
    void set_view_range(double top, double bottom);
    void show_whole_file();
    // Zooms by `factor` (above 1 zooms in) keeping `anchor` where it is on the screen.
    void zoom(double factor, double anchor);

    std::optional<double> cursor() const { return cursor_; }
    void set_cursor(std::optional<double> index);

    // The index at a widget row, and back.
    double index_at(double y) const;
    double y_of(double index) const;

    void render(QPainter& painter, const QSize& size) const;
    // The curves' names as the legends show them at `size`, track by track.
    std::vector<QString> legend_names(const QSize& size) const;

    static QColor curve_color(int position);

    // A parameter's lines traced ahead of the first paint, on the thread that reads the file,
    // for the frame of a track body of `body` pixels showing the whole file.
    struct Traced {
        TraceFrame frame;
        TracedLines lines;
        bool valid = false;
    };
    static Traced trace_whole_file(const LogData& data, int param, QSize body);
    // The size of each track's body now; empty without tracks.
    QSize body_size() const;
    // Lines traced ahead, drawn when a paint asks for their frame (after set_data()).
    void take_traces(std::map<int, Traced> traces);

signals:
    void cursor_moved(double index);
    void view_range_changed(double top, double bottom);
    // Other tracks, or another size: the frames of the curves change.
    void layout_changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Layout {
        QRect axis;
        QRect header;
        std::vector<QRect> headers; // one legend per track
        std::vector<QRect> bodies;  // one plot area per track
    };
    Layout layout_for(const QSize& size) const;
    void paint_axis(QPainter& painter, const QRect& axis, const QRect& body_span) const;
    void paint_track(QPainter& painter, const QRect& header, const QRect& body, const std::vector<int>& curves) const;
    QString index_label(double index, double step) const;
    QString legend_name(const QFontMetrics& metrics, int param, int width) const;

    // The lines of a curve as last traced, and the frame they were traced for: a repaint of
    // the same view (the cursor moved, a window went over it) draws them again as they are.
    const TracedLines& traced(int param, const TraceFrame& frame) const;
    void paint_curves(QPainter& painter, const QRect& body, const std::vector<int>& curves,
                      const std::vector<TraceFrame>& frames) const;

    const LogData* data_ = nullptr;
    mutable std::map<int, Traced> traced_;
    mutable QImage layer_;           // a track's curves, drawn run by run, then put on the track
    mutable std::vector<QPointF> points_; // a line for painters that draw vectors
    std::vector<QString> names_;
    std::vector<QString> units_;
    std::vector<std::vector<int>> tracks_;
    double top_ = 0;
    double bottom_ = 1;
    std::optional<double> cursor_;
    std::optional<int> drag_y_;
    double drag_top_ = 0;
};

} // namespace viewer
