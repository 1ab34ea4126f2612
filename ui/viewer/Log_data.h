#pragma once
// The numbers the log view draws, laid out for drawing: the records in passes along their
// index (time or depth) with one contiguous column per parameter, and the tracing of a column
// into a few points per pixel row (first, smallest, largest, last), so that a redraw costs
// the visible samples once and never more points than the track has rows.
//
// Built once per opened file; read-only afterwards and free of Qt.

#include "storage/Data_file.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class FileStorage;

namespace viewer {

class LogData {
public:
    // Records whose index is not a number, and values-only records on a depth axis, are left
    // out of the plot (the table keeps them).
    LogData(const FileStorage& model, data_file::IndexKind kind);

    data_file::IndexKind kind() const { return kind_; }
    std::size_t size() const { return index_.size(); }
    int param_count() const { return static_cast<int>(columns_.size()); }

    // A pass: samples [begin, end) whose index never decreases. A time file is one pass, its
    // records sorted by time. A depth file keeps its record order and starts a new pass where
    // the depth turns back (the same depths logged again), so that passes are never joined.
    struct Pass {
        std::size_t begin;
        std::size_t end;
    };
    const std::vector<Pass>& passes() const { return passes_; }

    // Ascending within each pass.
    const std::vector<double>& index() const { return index_; }
    // The model's record number of each sample.
    std::uint32_t record_of(std::size_t sample) const { return record_of_[sample]; }
    // The values of a parameter in sample order; NaN where a record has none.
    const std::vector<float>& column(int param) const { return columns_[static_cast<std::size_t>(param)]; }

    // Samples are also summed up in blocks, and blocks in larger blocks, so that a wide view
    // walks a few blocks per pixel row, not samples: the blocks of level L hold
    // block_size^(L+1) samples each (32, 1024, 32768).
    static constexpr std::size_t block_size = 32;
    static constexpr int block_levels = 3;
    static constexpr std::size_t block_size_at(int level)
    {
        std::size_t size = block_size;
        for (int l = 0; l < level; ++l)
            size *= block_size;
        return size;
    }
    struct Block {
        float low;
        float high;
        bool finite; // every value of the block is a number
    };
    // Block b of a level covers samples b * block_size_at(level) up to the next block (the
    // last may be short).
    const std::vector<Block>& blocks(int param, int level = 0) const
    {
        return blocks_[static_cast<std::size_t>(param)][static_cast<std::size_t>(level)];
    }

    // Smallest and largest index; (0, 1) without samples.
    std::pair<double, double> index_range() const;
    // Smallest and largest finite value of a parameter; (0, 1) without any.
    std::pair<float, float> value_range(int param) const { return ranges_[static_cast<std::size_t>(param)]; }

    // The first sample of a pass at or after `index` (the pass's end when none).
    std::size_t lower_bound(const Pass& pass, double index) const;
    // The sample the cursor reads at `index`: the nearest one of the latest pass that spans
    // `index`, else the nearest of any pass, the later pass on a tie (0 when empty).
    std::size_t nearest(double index) const;

private:
    std::size_t nearest_in(const Pass& pass, double index) const;
    void split_passes();

    data_file::IndexKind kind_;
    double low_ = 0;
    double high_ = 1;
    std::vector<double> index_;
    std::vector<Pass> passes_;
    std::vector<std::uint32_t> record_of_;
    std::vector<std::vector<float>> columns_;
    std::vector<std::pair<float, float>> ranges_;
    std::vector<std::vector<std::vector<Block>>> blocks_; // parameter, level, block
};

struct PlotPoint {
    float x;
    float y;
};

// Where a track shows a parameter: the index range top to bottom over `rows` pixel rows,
// the value range left to right over `width` pixels.
struct TraceFrame {
    double index_top = 0;
    double index_bottom = 1;
    int rows = 1;
    float value_left = 0;
    float value_right = 1;
    int width = 1;
};

// Polylines kept from one trace to the next, so that a redraw makes no new storage: the
// first `count` lines are the last trace's.
struct TracedLines {
    std::vector<std::vector<PlotPoint>> lines;
    std::size_t count = 0;

    void clear() { count = 0; }
    std::vector<PlotPoint>& open_line()
    {
        if (count == lines.size())
            lines.emplace_back();
        std::vector<PlotPoint>& line = lines[count++];
        line.clear();
        return line;
    }
    std::vector<PlotPoint>& back() { return lines[count - 1]; }
};

// The polylines of a parameter in the frame: a value that is not a number breaks the line
// (a gap, never a spike), and so does the start of a new pass; samples just outside the
// frame are included so that lines reach its edges. At most four points per pixel row of
// each pass.
void trace_into(const LogData& data, int param, const TraceFrame& frame, TracedLines& traced);
std::vector<std::vector<PlotPoint>> trace(const LogData& data, int param, const TraceFrame& frame);

} // namespace viewer
