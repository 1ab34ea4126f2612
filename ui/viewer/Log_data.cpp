#include "ui/viewer/Log_data.h"

#include "storage/Realtimedatareader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace viewer {

namespace {

double index_of(const FileStorageItem& record, data_file::IndexKind kind)
{
    return kind == data_file::IndexKind::depth ? static_cast<double>(record.depth_z) : static_cast<double>(record.time);
}

// A values-only record has no depths (they read as 0): on a depth axis it has no place.
bool plotted(const FileStorageItem* record, data_file::IndexKind kind)
{
    if (!record || std::isnan(index_of(*record, kind)))
        return false;
    return kind == data_file::IndexKind::time || record->stamped != 0;
}

std::pair<float, float> finite_range(const std::vector<float>& column)
{
    float low = std::numeric_limits<float>::infinity();
    float high = -low;
    for (const float value : column) {
        if (!std::isfinite(value))
            continue;
        low = std::min(low, value);
        high = std::max(high, value);
    }
    if (low > high)
        return {0.0f, 1.0f};
    return {low, high};
}

std::vector<LogData::Block> block_summaries(const std::vector<float>& column)
{
    std::vector<LogData::Block> blocks;
    blocks.reserve(column.size() / LogData::block_size + 1);
    for (std::size_t first = 0; first < column.size(); first += LogData::block_size) {
        const std::size_t last = std::min(first + LogData::block_size, column.size());
        LogData::Block block{column[first], column[first], true};
        for (std::size_t s = first; s < last; ++s) {
            block.finite = block.finite && std::isfinite(column[s]);
            block.low = std::min(block.low, column[s]);
            block.high = std::max(block.high, column[s]);
        }
        blocks.push_back(block);
    }
    return blocks;
}

// The next level's blocks, each summing up block_size blocks of the level below.
std::vector<LogData::Block> merged_blocks(const std::vector<LogData::Block>& below)
{
    std::vector<LogData::Block> blocks;
    blocks.reserve(below.size() / LogData::block_size + 1);
    for (std::size_t first = 0; first < below.size(); first += LogData::block_size) {
        const std::size_t last = std::min(first + LogData::block_size, below.size());
        LogData::Block block = below[first];
        for (std::size_t b = first + 1; b < last; ++b) {
            block.finite = block.finite && below[b].finite;
            block.low = std::min(block.low, below[b].low);
            block.high = std::max(block.high, below[b].high);
        }
        blocks.push_back(block);
    }
    return blocks;
}

// Collects the samples of one pixel row and hands its points to the current line.
class RowTracer {
public:
    RowTracer(const TraceFrame& frame, TracedLines& lines) : frame_(frame), lines_(lines)
    {
        const double span = frame.index_bottom - frame.index_top;
        y_scale_ = span != 0 ? frame.rows / span : 0;
        const float values = frame.value_right - frame.value_left;
        x_scale_ = values != 0 ? static_cast<float>(frame.width) / values : 0;
    }

    void add(double index, float value)
    {
        if (!std::isfinite(value)) {
            flush();
            line_open_ = false;
            return;
        }
        const double y = (index - frame_.index_top) * y_scale_;
        const double row = std::floor(y);
        if (!has_row_ || row != row_) {
            flush();
            has_row_ = true;
            row_ = row;
            first_ = last_ = low_ = high_ = {x_of(value), static_cast<float>(y)};
            count_ = 1;
            return;
        }
        last_ = {x_of(value), static_cast<float>(y)};
        if (last_.x < low_.x)
            low_ = last_;
        if (last_.x > high_.x)
            high_ = last_;
        ++count_;
    }

    // Widens the current row by the extremes of samples already inside it.
    void add_extremes(float low, float high)
    {
        low_.x = std::min(low_.x, x_of(low));
        high_.x = std::max(high_.x, x_of(high));
        count_ += 2;
    }

    // The pixel row of an index, to tell whether a block lies inside one row.
    double row_of(double index) const { return std::floor((index - frame_.index_top) * y_scale_); }

    // The next sample starts a line of its own.
    void end_line()
    {
        flush();
        line_open_ = false;
    }

    void flush()
    {
        if (!has_row_)
            return;
        has_row_ = false;
        if (!line_open_) {
            lines_.open_line();
            line_open_ = true;
        }
        auto& line = lines_.back();
        line.push_back(first_);
        if (count_ > 1) {
            // The extremes of the row drawn across its middle: the row's ink, not its order.
            const float middle = static_cast<float>(row_) + 0.5f;
            line.push_back({std::min(low_.x, high_.x), middle});
            line.push_back({std::max(low_.x, high_.x), middle});
            line.push_back(last_);
        }
    }

private:
    float x_of(float value) const { return (value - frame_.value_left) * x_scale_; }

    const TraceFrame& frame_;
    TracedLines& lines_;
    double y_scale_ = 0;
    float x_scale_ = 0;
    bool line_open_ = false;
    bool has_row_ = false;
    double row_ = 0;
    int count_ = 0;
    PlotPoint first_{}, last_{}, low_{}, high_{};
};

// Moves an end point that lies far outside the frame onto its border along the segment,
// so that painters never meet coordinates beyond their range.
void clip_end(PlotPoint& end, const PlotPoint& inner, float top, float bottom)
{
    const float border = end.y < top ? top : end.y > bottom ? bottom : end.y;
    if (border == end.y || inner.y == end.y)
        return;
    const float t = (border - inner.y) / (end.y - inner.y);
    end = {inner.x + t * (end.x - inner.x), border};
}

// The first sample after `first` that lies in another pixel row (`end` when none): the index
// ascends within a pass, so the rows do too; a short row is found in a step or two, a long
// one by doubling the step and then halving it.
std::size_t row_end_of(const RowTracer& tracer, const std::vector<double>& index, std::size_t first, std::size_t end)
{
    const double row = tracer.row_of(index[first]);
    std::size_t inside = first; // known to lie in the row
    std::size_t step = 1;
    std::size_t probe = std::min(end, first + step);
    while (probe < end && tracer.row_of(index[probe]) == row) {
        inside = probe;
        step *= 2;
        probe = std::min(end, first + step);
    }
    const auto from = index.begin() + static_cast<std::ptrdiff_t>(inside + 1);
    const auto to = index.begin() + static_cast<std::ptrdiff_t>(probe);
    return static_cast<std::size_t>(
        std::partition_point(from, to, [&tracer, row](double value) { return tracer.row_of(value) == row; })
        - index.begin());
}

// Rows of fewer samples are traced sample by sample.
constexpr std::size_t dense_row = 8;

struct Extremes {
    float low = std::numeric_limits<float>::infinity();
    float high = -std::numeric_limits<float>::infinity();
    bool finite = true; // every sample a number
};

// The smallest and largest value of samples [first, end), through the largest whole blocks
// that fit; it stops at the first value that is not a number.
Extremes extremes_of(const LogData& data, int param, std::size_t first, std::size_t end)
{
    Extremes extremes;
    const std::vector<float>& column = data.column(param);
    for (std::size_t s = first; s < end && extremes.finite;) {
        int level = LogData::block_levels - 1;
        while (level >= 0 && (s % LogData::block_size_at(level) != 0 || s + LogData::block_size_at(level) > end))
            --level;
        if (level < 0) {
            extremes.finite = std::isfinite(column[s]);
            extremes.low = std::min(extremes.low, column[s]);
            extremes.high = std::max(extremes.high, column[s]);
            ++s;
            continue;
        }
        const LogData::Block& block = data.blocks(param, level)[s / LogData::block_size_at(level)];
        extremes.finite = block.finite;
        extremes.low = std::min(extremes.low, block.low);
        extremes.high = std::max(extremes.high, block.high);
        s += LogData::block_size_at(level);
    }
    return extremes;
}

} // namespace

LogData::LogData(const FileStorage& model, data_file::IndexKind kind) : kind_(kind)
{
    std::vector<std::uint32_t> order;
    order.reserve(model.records.size());
    for (std::size_t i = 0; i < model.records.size(); ++i)
        if (plotted(model.records[i].get(), kind))
            order.push_back(static_cast<std::uint32_t>(i));
    // A clock only goes forward: a time file is sorted into one pass (stable, so records at
    // one time keep their file order; mostly in order already, which a check finds). Depths
    // go back when a stretch is logged again, and each pass is drawn as it was recorded.
    const auto by_index = [&model, kind](std::uint32_t a, std::uint32_t b) {
        return index_of(*model.records[a], kind) < index_of(*model.records[b], kind);
    };
    if (kind == data_file::IndexKind::time && !std::is_sorted(order.begin(), order.end(), by_index))
        std::stable_sort(order.begin(), order.end(), by_index);

    index_.reserve(order.size());
    for (const std::uint32_t r : order)
        index_.push_back(index_of(*model.records[r], kind));
    record_of_ = std::move(order);
    split_passes();

    const int params = std::clamp(model.param_count, 0, static_cast<int>(model.params.size()));
    columns_.assign(static_cast<std::size_t>(params), std::vector<float>(record_of_.size()));
    for (std::size_t s = 0; s < record_of_.size(); ++s) {
        const std::vector<float>& values = model.records[record_of_[s]]->values;
        for (std::size_t p = 0; p < columns_.size(); ++p)
            columns_[p][s] = p < values.size() ? values[p] : std::numeric_limits<float>::quiet_NaN();
    }
    for (const auto& column : columns_) {
        ranges_.push_back(finite_range(column));
        std::vector<std::vector<Block>> levels;
        levels.push_back(block_summaries(column));
        for (int level = 1; level < block_levels; ++level)
            levels.push_back(merged_blocks(levels.back()));
        blocks_.push_back(std::move(levels));
    }
}

void LogData::split_passes()
{
    std::size_t begin = 0;
    for (std::size_t s = 1; s <= index_.size(); ++s) {
        if (s == index_.size() || index_[s] < index_[s - 1]) {
            passes_.push_back({begin, s});
            begin = s;
        }
    }
    low_ = std::numeric_limits<double>::infinity();
    high_ = -low_;
    for (const Pass& pass : passes_) {
        low_ = std::min(low_, index_[pass.begin]);
        high_ = std::max(high_, index_[pass.end - 1]);
    }
}

std::pair<double, double> LogData::index_range() const
{
    if (index_.empty())
        return {0.0, 1.0};
    return {low_, high_};
}

std::size_t LogData::lower_bound(const Pass& pass, double index) const
{
    const auto first = index_.begin() + static_cast<std::ptrdiff_t>(pass.begin);
    const auto last = index_.begin() + static_cast<std::ptrdiff_t>(pass.end);
    return static_cast<std::size_t>(std::lower_bound(first, last, index) - index_.begin());
}

// The later pass wins wherever it has records around `index`: with the nearest sample of
// any pass, two passes whose depths interleave would flip the readout between days at every
// small move of the pointer.
std::size_t LogData::nearest(double index) const
{
    for (auto pass = passes_.rbegin(); pass != passes_.rend(); ++pass) {
        if (pass->begin < pass->end && index_[pass->begin] <= index && index <= index_[pass->end - 1])
            return nearest_in(*pass, index);
    }
    std::size_t best = 0;
    double best_distance = std::numeric_limits<double>::infinity();
    for (const Pass& pass : passes_) {
        const std::size_t candidate = nearest_in(pass, index);
        const double distance = std::abs(index_[candidate] - index);
        if (distance <= best_distance) {
            best = candidate;
            best_distance = distance;
        }
    }
    return best;
}

std::size_t LogData::nearest_in(const Pass& pass, double index) const
{
    const std::size_t after = lower_bound(pass, index);
    const std::size_t below = after > pass.begin ? after - 1 : pass.begin;
    const std::size_t above = std::min(after, pass.end - 1);
    // The later sample on a tie, as the later record holds the newer reading.
    return std::abs(index_[above] - index) <= std::abs(index_[below] - index) ? above : below;
}

std::vector<std::vector<PlotPoint>> trace(const LogData& data, int param, const TraceFrame& frame)
{
    TracedLines traced;
    trace_into(data, param, frame, traced);
    traced.lines.resize(traced.count);
    return std::move(traced.lines);
}

void trace_into(const LogData& data, int param, const TraceFrame& frame, TracedLines& lines)
{
    lines.clear();
    if (param < 0 || param >= data.param_count() || data.size() == 0 || frame.rows <= 0)
        return;
    const double top = std::min(frame.index_top, frame.index_bottom);
    const double bottom = std::max(frame.index_top, frame.index_bottom);
    RowTracer tracer(frame, lines);
    const std::vector<float>& column = data.column(param);
    const std::vector<double>& index = data.index();
    for (const LogData::Pass& pass : data.passes()) {
        std::size_t begin = data.lower_bound(pass, top);
        std::size_t end = static_cast<std::size_t>(
            std::upper_bound(index.begin() + static_cast<std::ptrdiff_t>(begin),
                             index.begin() + static_cast<std::ptrdiff_t>(pass.end), bottom)
            - index.begin());
        if (begin == end && (begin == pass.begin || begin == pass.end))
            continue; // the pass lies wholly above or below the frame
        begin = begin > pass.begin ? begin - 1 : pass.begin;
        end = std::min(end + 1, pass.end);
        for (std::size_t s = begin; s < end;) {
            // A row of many samples, all numbers: its first and last sample and the
            // extremes between them, which the blocks give without a look at each sample.
            const std::size_t row_end = row_end_of(tracer, index, s, end);
            if (row_end - s >= dense_row) {
                const Extremes extremes = extremes_of(data, param, s, row_end);
                if (extremes.finite) {
                    tracer.add(index[s], column[s]);
                    tracer.add_extremes(extremes.low, extremes.high);
                    tracer.add(index[row_end - 1], column[row_end - 1]);
                    s = row_end;
                    continue;
                }
            }
            // The largest whole block of numbers inside one row adds its ends and extremes
            // at once.
            bool whole_block = false;
            for (int level = LogData::block_levels - 1; level >= 0 && !whole_block; --level) {
                const std::size_t size = LogData::block_size_at(level);
                if (s % size != 0 || s + size > end)
                    continue;
                const LogData::Block& block = data.blocks(param, level)[s / size];
                const std::size_t last = s + size - 1;
                if (!block.finite || tracer.row_of(index[s]) != tracer.row_of(index[last]))
                    continue;
                tracer.add(index[s], column[s]);
                tracer.add_extremes(block.low, block.high);
                tracer.add(index[last], column[last]);
                s += size;
                whole_block = true;
            }
            if (whole_block)
                continue;
            tracer.add(index[s], column[s]);
            ++s;
        }
        tracer.end_line();
    }

    const float margin = 2.0f;
    for (std::size_t l = 0; l < lines.count; ++l) {
        std::vector<PlotPoint>& line = lines.lines[l];
        if (line.size() >= 2) {
            clip_end(line.front(), line[1], -margin, static_cast<float>(frame.rows) + margin);
            clip_end(line.back(), line[line.size() - 2], -margin, static_cast<float>(frame.rows) + margin);
        }
    }
}

} // namespace viewer
