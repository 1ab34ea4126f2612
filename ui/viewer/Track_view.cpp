#include "ui/viewer/Track_view.h"

#include "lib/Mytime.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>

namespace viewer {

namespace {

constexpr int axis_width = 96;
// Each curve's legend takes two lines: its name, then its scale's ends over a line in its
// colour. Sharing one line left no room for the name once a track held two or three curves.
constexpr int legend_line = 16;
constexpr int legend_row = 2 * legend_line;
constexpr int header_height = TrackView::max_curves_per_track * legend_row + 6;
constexpr int track_gap = 4;
constexpr int min_tick_spacing = 48; // pixels between index labels
constexpr double wheel_step = 1.25;

const QColor frame_color(150, 150, 150);
const QColor grid_color(225, 225, 225);
const QColor cursor_color(230, 120, 0);

// 1, 2 or 5 times a power of ten, at least `wanted`.
double round_step(double wanted)
{
    if (!(wanted > 0))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(wanted)));
    for (const double mantissa : {1.0, 2.0, 5.0, 10.0})
        if (mantissa * power >= wanted)
            return mantissa * power;
    return 10 * power;
}

// Steps a clock reader expects: seconds, minutes, hours, days.
double time_step(double wanted)
{
    static constexpr std::array<double, 18> steps = {1,    2,    5,     10,    15,    30,    60,    120,   300,
                                                     600,  900,  1800,  3600,  7200,  10800, 21600, 43200, 86400};
    for (const double step : steps)
        if (step >= wanted)
            return step;
    return 86400 * round_step(wanted / 86400);
}

QString two_digits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// Scale ends with a little room, so that extremes do not sit on the frame.
std::pair<float, float> padded(std::pair<float, float> range)
{
    float span = range.second - range.first;
    if (!(span > 0))
        span = std::max(1.0f, std::abs(range.first) * 0.1f);
    return {range.first - span * 0.05f, range.second + span * 0.05f};
}

QString number_label(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

TrackView::TrackView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setMinimumSize(320, 240);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TrackView::set_data(const LogData* data, std::vector<QString> names, std::vector<QString> units)
{
    data_ = data;
    for (auto& [param, entry] : traced_)
        entry.valid = false;
    names_ = std::move(names);
    units_ = std::move(units);
    show_whole_file();
}

void TrackView::set_tracks(std::vector<std::vector<int>> tracks)
{
    tracks_ = std::move(tracks);
    update();
    emit layout_changed();
}

void TrackView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    emit layout_changed();
}

void TrackView::set_view_range(double top, double bottom)
{
    if (!std::isfinite(top) || !std::isfinite(bottom) || !(bottom > top))
        return;
    top_ = top;
    bottom_ = bottom;
    update();
    emit view_range_changed(top_, bottom_);
}

namespace {

// The index range of the whole file with a little room at its ends.
std::pair<double, double> whole_range(const LogData* data)
{
    auto [first, last] = data ? data->index_range() : std::pair<double, double>{0, 1};
    const double span = last - first;
    const double margin = span > 0 ? span * 0.01 : std::max(1.0, std::abs(first) * 0.01);
    return {first - margin, last + margin};
}

} // namespace

void TrackView::show_whole_file()
{
    const auto [top, bottom] = whole_range(data_);
    set_view_range(top, bottom);
}

TrackView::Traced TrackView::trace_whole_file(const LogData& data, int param, QSize body)
{
    Traced traced;
    const auto [top, bottom] = whole_range(&data);
    const auto [left, right] = padded(data.value_range(param));
    traced.frame = {top, bottom, body.height(), left, right, body.width()};
    trace_into(data, param, traced.frame, traced.lines);
    traced.valid = true;
    return traced;
}

QSize TrackView::body_size() const
{
    const Layout layout = layout_for(size());
    return layout.bodies.empty() ? QSize() : layout.bodies.front().size();
}

void TrackView::take_traces(std::map<int, Traced> traces)
{
    for (auto& [param, traced] : traces)
        if (data_ && param >= 0 && param < data_->param_count())
            traced_[param] = std::move(traced);
}

void TrackView::zoom(double factor, double anchor)
{
    if (!(factor > 0))
        return;
    auto [first, last] = data_ ? data_->index_range() : std::pair<double, double>{0, 1};
    const double whole = std::max(last - first, 1e-3);
    const double span = std::clamp((bottom_ - top_) / factor, whole * 1e-6, whole * 4);
    const double ratio = (anchor - top_) / (bottom_ - top_);
    set_view_range(anchor - ratio * span, anchor - ratio * span + span);
}

void TrackView::set_cursor(std::optional<double> index)
{
    cursor_ = index;
    update();
}

TrackView::Layout TrackView::layout_for(const QSize& size) const
{
    Layout layout;
    const int body_top = header_height;
    const int body_height = std::max(1, size.height() - body_top - 1);
    layout.axis = QRect(0, body_top, axis_width, body_height);
    layout.header = QRect(axis_width, 0, size.width() - axis_width, header_height);
    const int count = std::max<int>(1, static_cast<int>(tracks_.size()));
    const int usable = std::max(count, size.width() - axis_width - track_gap * count);
    const int width = usable / count;
    for (int t = 0; t < static_cast<int>(tracks_.size()); ++t) {
        const int left = axis_width + track_gap + t * (width + track_gap);
        layout.headers.emplace_back(left, 0, width, header_height - 2);
        layout.bodies.emplace_back(left, body_top, width, body_height);
    }
    return layout;
}

double TrackView::index_at(double y) const
{
    const Layout layout = layout_for(size());
    return top_ + (y - layout.axis.top()) / layout.axis.height() * (bottom_ - top_);
}

double TrackView::y_of(double index) const
{
    const Layout layout = layout_for(size());
    return layout.axis.top() + (index - top_) / (bottom_ - top_) * layout.axis.height();
}

QColor TrackView::curve_color(int position)
{
    static const std::array<QColor, max_curves_per_track> colors = {QColor(192, 40, 30), QColor(30, 90, 190),
                                                                     QColor(30, 140, 70)};
    return colors[static_cast<std::size_t>(position) % colors.size()];
}

QString TrackView::legend_name(const QFontMetrics& metrics, int param, int width) const
{
    QString name = names_[static_cast<std::size_t>(param)];
    if (!units_[static_cast<std::size_t>(param)].isEmpty())
        name += ", " + units_[static_cast<std::size_t>(param)];
    return metrics.elidedText(name, Qt::ElideRight, std::max(0, width));
}

std::vector<QString> TrackView::legend_names(const QSize& size) const
{
    std::vector<QString> shown;
    const Layout layout = layout_for(size);
    for (std::size_t t = 0; t < tracks_.size(); ++t)
        for (const int param : tracks_[t])
            if (data_ && param >= 0 && param < data_->param_count())
                shown.push_back(legend_name(fontMetrics(), param, layout.headers[t].width() - 4));
    return shown;
}

QString TrackView::index_label(double index, double step) const
{
    if (!data_ || data_->kind() == data_file::IndexKind::depth)
        return number_label(index);
    const double clamped = std::clamp(std::round(index), 0.0, 4294967295.0);
    const lib::TimeFields t = lib::split_seconds(static_cast<std::uint32_t>(clamped));
    const QString date = two_digits(t.day) + "." + two_digits(t.month) + "." + QString::number(t.year);
    const QString clock = two_digits(t.hour) + ":" + two_digits(t.minute);
    if (step >= 86400)
        return date;
    if (bottom_ - top_ > 86400)
        return date.left(5) + " " + clock;
    return step >= 60 ? clock : clock + ":" + two_digits(t.second);
}

void TrackView::paint_axis(QPainter& painter, const QRect& axis, const QRect& body_span) const
{
    const double span = bottom_ - top_;
    const double wanted = span * min_tick_spacing / std::max(1, axis.height());
    const bool time = data_ && data_->kind() == data_file::IndexKind::time;
    const double step = time ? time_step(wanted) : round_step(wanted);
    const double first = std::ceil(top_ / step) * step;

    painter.setPen(QColor(60, 60, 60));
    painter.drawText(QRect(0, 0, axis_width - 4, header_height - 4), Qt::AlignRight | Qt::AlignBottom,
                     time ? QStringLiteral("Время") : QStringLiteral("Глубина, м"));
    const QFontMetrics metrics = painter.fontMetrics();
    for (double index = first; index <= bottom_; index += step) {
        const int y = axis.top() + static_cast<int>(std::lround((index - top_) / span * axis.height()));
        painter.setPen(grid_color);
        painter.drawLine(body_span.left(), y, body_span.right(), y);
        painter.setPen(QColor(60, 60, 60));
        painter.drawLine(axis.right() - 5, y, axis.right(), y);
        const QRect label(0, y - metrics.height() / 2, axis_width - 8, metrics.height());
        painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter, index_label(index, step));
    }
    painter.setPen(frame_color);
    painter.drawLine(axis.right(), axis.top(), axis.right(), axis.bottom());
}

void TrackView::paint_track(QPainter& painter, const QRect& header, const QRect& body,
                            const std::vector<int>& curves) const
{
    painter.setPen(grid_color);
    for (int i = 1; i < 4; ++i) {
        const int x = body.left() + body.width() * i / 4;
        painter.drawLine(x, body.top(), x, body.bottom());
    }
    const QFontMetrics metrics = painter.fontMetrics();
    std::vector<TraceFrame> frames(curves.size());
    for (std::size_t position = 0; position < curves.size(); ++position) {
        const int param = curves[position];
        if (!data_ || param < 0 || param >= data_->param_count())
            continue;
        const QColor color = curve_color(static_cast<int>(position));
        const auto [left, right] = padded(data_->value_range(param));

        // Legend: the name and unit on top, the scale's ends below them at the edges.
        const QRect row(header.left() + 2, header.top() + 3 + static_cast<int>(position) * legend_row,
                        header.width() - 4, legend_row);
        const QRect name_line(row.left(), row.top(), row.width(), legend_line);
        const QRect scale_line(row.left(), row.top() + legend_line, row.width(), legend_line);
        painter.setPen(QPen(color, 2));
        painter.drawLine(scale_line.left(), scale_line.bottom() - 1, scale_line.right(), scale_line.bottom() - 1);
        painter.setPen(color);
        painter.drawText(scale_line, Qt::AlignLeft | Qt::AlignVCenter, number_label(left));
        painter.drawText(scale_line, Qt::AlignRight | Qt::AlignVCenter, number_label(right));
        painter.drawText(name_line, Qt::AlignHCenter | Qt::AlignVCenter, legend_name(metrics, param, name_line.width()));

        TraceFrame& frame = frames[position];
        frame.index_top = top_;
        frame.index_bottom = bottom_;
        frame.rows = body.height();
        frame.value_left = left;
        frame.value_right = right;
        frame.width = body.width();
    }
    paint_curves(painter, body, curves, frames);
    painter.setPen(frame_color);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(body.adjusted(0, 0, -1, -1));
}

namespace {

bool same_frame(const TraceFrame& a, const TraceFrame& b)
{
    return a.index_top == b.index_top && a.index_bottom == b.index_bottom && a.rows == b.rows
        && a.value_left == b.value_left && a.value_right == b.value_right && a.width == b.width;
}

// Pixels of one colour from x = a to x = b (either order) in a row of `width`.
void fill_run(std::uint32_t* row, int width, float a, float b, std::uint32_t color)
{
    const float low = std::max(std::min(a, b), 0.0f);
    const float high = std::min(std::max(a, b), static_cast<float>(width) - 0.5f);
    if (!(low <= high))
        return;
    std::fill(row + static_cast<int>(low), row + static_cast<int>(high) + 1, color);
}

// A one-pixel line as one run of pixels per row it crosses. A dense curve is mostly long
// runs along its rows (the extremes of each row), which a painter's line drawing costs pixel
// by pixel and a run fills at once.
void draw_segment(QImage& image, PlotPoint p, PlotPoint q, std::uint32_t color)
{
    if (p.y > q.y)
        std::swap(p, q);
    const int rows = image.height();
    const float first_row = std::floor(p.y);
    const float last_row = std::floor(q.y);
    if (!(last_row >= 0) || !(first_row < static_cast<float>(rows)))
        return;
    const auto row = [&image](int y) { return reinterpret_cast<std::uint32_t*>(image.scanLine(y)); };
    if (first_row == last_row) {
        fill_run(row(static_cast<int>(first_row)), image.width(), p.x, q.x, color);
        return;
    }
    const float slope = (q.x - p.x) / (q.y - p.y);
    const int from = static_cast<int>(std::max(first_row, 0.0f));
    const int to = static_cast<int>(std::min(last_row, static_cast<float>(rows - 1)));
    for (int y = from; y <= to; ++y) {
        const float top = std::max(static_cast<float>(y), p.y);
        const float bottom = std::min(static_cast<float>(y + 1), q.y);
        fill_run(row(y), image.width(), p.x + (top - p.y) * slope, p.x + (bottom - p.y) * slope, color);
    }
}

// Whether the painter puts pixels one to one into an image or a widget: then curves are drawn
// as runs into an image; vector devices (SVG, PDF) and scaled ones get lines.
bool draws_pixels(QPainter& painter)
{
    return painter.paintEngine() != nullptr && painter.paintEngine()->type() == QPaintEngine::Raster
        && painter.deviceTransform().type() <= QTransform::TxTranslate && painter.device()->devicePixelRatio() == 1;
}

} // namespace

const TracedLines& TrackView::traced(int param, const TraceFrame& frame) const
{
    Traced& entry = traced_[param];
    if (entry.valid && same_frame(entry.frame, frame))
        return entry.lines;
    entry.frame = frame;
    entry.valid = true;
    trace_into(*data_, param, frame, entry.lines);
    return entry.lines;
}

void TrackView::paint_curves(QPainter& painter, const QRect& body, const std::vector<int>& curves,
                             const std::vector<TraceFrame>& frames) const
{
    const bool pixels = draws_pixels(painter);
    if (pixels) {
        if (layer_.size() != body.size())
            layer_ = QImage(body.size(), QImage::Format_ARGB32_Premultiplied);
        layer_.fill(Qt::transparent);
    }
    painter.save();
    painter.setClipRect(body);
    painter.translate(body.topLeft());
    for (std::size_t position = 0; position < curves.size(); ++position) {
        const int param = curves[position];
        if (!data_ || param < 0 || param >= data_->param_count())
            continue;
        const QColor color = curve_color(static_cast<int>(position));
        const TracedLines& lines = traced(param, frames[position]);
        if (pixels) {
            const std::uint32_t argb = color.rgba(); // opaque: the same premultiplied
            for (std::size_t l = 0; l < lines.count; ++l) {
                const std::vector<PlotPoint>& line = lines.lines[l];
                if (line.size() == 1)
                    draw_segment(layer_, line.front(), line.front(), argb);
                for (std::size_t i = 1; i < line.size(); ++i)
                    draw_segment(layer_, line[i - 1], line[i], argb);
            }
            continue;
        }
        // A cosmetic one-pixel pen keeps vector output thin at any zoom of the document.
        QPen pen(color, 1);
        pen.setCosmetic(true);
        painter.setPen(pen);
        for (std::size_t l = 0; l < lines.count; ++l) {
            points_.clear();
            for (const PlotPoint& point : lines.lines[l])
                points_.emplace_back(point.x, point.y);
            if (points_.size() == 1)
                painter.drawPoint(points_.front());
            else
                painter.drawPolyline(points_.data(), static_cast<int>(points_.size()));
        }
    }
    if (pixels)
        painter.drawImage(QPoint(0, 0), layer_);
    painter.restore();
}

void TrackView::render(QPainter& painter, const QSize& size) const
{
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    const Layout layout = layout_for(size);
    QRect body_span = layout.axis;
    if (!layout.bodies.empty())
        body_span = QRect(layout.bodies.front().topLeft(), layout.bodies.back().bottomRight());
    paint_axis(painter, layout.axis, body_span);
    for (std::size_t t = 0; t < tracks_.size(); ++t)
        paint_track(painter, layout.headers[t], layout.bodies[t], tracks_[t]);

    if (cursor_ && *cursor_ >= top_ && *cursor_ <= bottom_) {
        const int y = layout.axis.top() + static_cast<int>(std::lround((*cursor_ - top_) / (bottom_ - top_) *
                                                                        layout.axis.height()));
        painter.setPen(QPen(cursor_color, 1));
        painter.drawLine(layout.axis.left(), y, body_span.right(), y);
        // The cursor's index on the axis, over the tick labels.
        const QFontMetrics metrics = painter.fontMetrics();
        const QRect label(1, y - metrics.height() / 2 - 1, axis_width - 8, metrics.height() + 2);
        painter.fillRect(label, cursor_color);
        painter.setPen(Qt::white);
        painter.drawText(label.adjusted(0, 0, -3, 0), Qt::AlignRight | Qt::AlignVCenter, index_label(*cursor_, 1));
    }
}

void TrackView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    render(painter, size());
}

void TrackView::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0)
        zoom(std::pow(wheel_step, notches), index_at(event->position().y()));
    event->accept();
}

void TrackView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        drag_y_ = static_cast<int>(event->position().y());
        drag_top_ = top_;
        setCursor(Qt::ClosedHandCursor);
    }
}

void TrackView::mouseMoveEvent(QMouseEvent* event)
{
    const double y = event->position().y();
    if (drag_y_) {
        const Layout layout = layout_for(size());
        const double shift = (y - *drag_y_) / layout.axis.height() * (bottom_ - top_);
        const double span = bottom_ - top_;
        set_view_range(drag_top_ - shift, drag_top_ - shift + span);
    }
    if (y >= header_height) {
        set_cursor(index_at(y));
        emit cursor_moved(*cursor_);
    }
}

void TrackView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        drag_y_.reset();
        unsetCursor();
    }
}

} // namespace viewer
