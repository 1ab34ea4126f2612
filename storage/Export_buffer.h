#pragma once
// What the CSV, LAS and WITSML writers share: a text buffer that hands full pieces to the
// sink, the one table of columns of a model (record fields, valid parameters and record
// values beyond them) and the records a range selects.

#include "lib/Float_text.h"
#include "storage/Export.h"
#include "storage/Realtimedatareader.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace data_export::detail {

// Rows are formatted straight into a fixed block; a full block goes to the sink at once,
// so memory stays flat whatever the size of the file.
class TextBuffer {
public:
    static constexpr std::size_t block_size = 1 << 20;

    explicit TextBuffer(const Sink& sink) : sink_(sink), block_(block_size) {}

    // Makes room for `bytes` more and returns where they go; commit() says how many came.
    char* reserve(std::size_t bytes)
    {
        if (used_ + bytes > block_.size()) {
            flush();
            if (bytes > block_.size())
                block_.resize(bytes);
        }
        return block_.data() + used_;
    }
    void commit(char* end) { used_ = static_cast<std::size_t>(end - block_.data()); }

    void append(std::string_view text)
    {
        if (text.size() >= block_.size()) { // large pieces pass through without a copy
            flush();
            sink_(text);
            return;
        }
        commit(std::copy(text.begin(), text.end(), reserve(text.size())));
    }
    void flush()
    {
        if (used_ > 0)
            sink_(std::string_view(block_.data(), used_));
        used_ = 0;
    }

private:
    const Sink& sink_;
    std::vector<char> block_;
    std::size_t used_ = 0;
};

// Bytes a formatted float never exceeds, with a separator.
inline constexpr std::size_t max_number_bytes = lib::float_text_capacity + 1;

// The value of a column in a record, NaN when the record has none.
inline float column_value(const FileStorageItem& record, std::size_t column)
{
    return column < record.values.size() ? record.values[column] : NAN;
}

// A finite value as text; nothing, or `missing`, for the rest.
inline char* write_value(char* out, float value, std::string_view missing)
{
    if (std::isfinite(value))
        return lib::write_float(out, value);
    // std::copy, unlike memcpy, takes an empty view whose data pointer is null.
    return std::copy(missing.begin(), missing.end(), out);
}

// "2020-09-13T12:26:40", computing the calendar date only when the day changes.
class IsoTimeWriter {
public:
    static constexpr std::size_t size = 19;
    char* write(char* out, std::uint32_t time);

private:
    std::uint32_t day_ = 0xFFFFFFFF;
    char date_[11] = {};
};

// Record fields that become columns.
enum class RecordField { time, depth_z, depth_cur, lag_depth };

// One column of an export, as each form names it.
struct Column {
    std::string caption;     // CSV header
    std::string mnemonic;    // LAS and WITSML, unique in the export, at most 32 characters
    std::string unit;        // the station's text; "S" and "M" for the record fields (LAS)
    std::string witsml_unit; // the Energistics symbol, else the station's text
    bool unit_mapped = true; // false when witsml_unit is the station's text for want of a symbol
    std::string description; // LAS description and WITSML curveDescription
    std::optional<RecordField> field; // else the value column `column`
    std::size_t column = 0;
};

// The record fields in the order time, depth Z, current depth, lag depth, then one column
// per value column of the model.
std::vector<Column> export_columns(const FileStorage& model);
// Moves the index column ahead: for depth files the depth Z before the time.
void put_index_first(std::vector<Column>& columns, data_file::IndexKind index);

inline double field_value(const FileStorageItem& record, RecordField field)
{
    switch (field) {
    case RecordField::time: return record.time;
    case RecordField::depth_z: return record.depth_z;
    case RecordField::depth_cur: return record.depth_cur;
    case RecordField::lag_depth: return record.lag_depth;
    }
    return NAN;
}

// The float of a non-time column of a record.
inline float float_value(const FileStorageItem& record, const Column& column)
{
    return column.field ? static_cast<float>(field_value(record, *column.field)) : column_value(record, column.column);
}

// The records within the range, in file order.
std::vector<const FileStorageItem*> selected_records(const FileStorage& model, const Range& range);

void write_csv(const FileStorage& model, const Options& options, TextBuffer& out);
void write_las(const FileStorage& model, const Options& options, TextBuffer& out);
void write_witsml(const FileStorage& model, const Options& options, TextBuffer& out);

} // namespace data_export::detail
