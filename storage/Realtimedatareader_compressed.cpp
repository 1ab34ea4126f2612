// Reading the compressed column form: the column-file set (one member per column group)
// and the "CREGFILE" single stream. Every count is checked against the bytes left before
// anything is allocated, and every column must hold one value per record.

#include "storage/Compressed_text.h"
#include "storage/Planar_lists.h"
#include "storage/Realtimedatareader.h"
#include "storage/wave/Wave.h"
#include "platform/Memory.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <cmath>


using namespace storage;

namespace {

constexpr std::int32_t method_raw = 1;
constexpr std::int32_t method_quantised = 2;
constexpr std::int32_t method_wavelet = 3;

// A parameter entry holds at least four zero bytes and two 4-byte numbers.
constexpr std::size_t smallest_param_entry = 4 + 4 + 4;

// Base e as the station's coder raised it, and the share of the range below which a
// column with the zero flag reads 0.
constexpr double exponent_base = 2.718281828459045;
constexpr double zero_share = 0.01;

constexpr std::uint64_t subsecond_mask = 0xFF;
constexpr int time_shift = 32;

std::vector<std::uint32_t> read_codes(lib::io::BinaryInputStream& in, std::int32_t kind)
{
    switch (kind) {
    case 1: {
        const auto codes = read_planar<std::uint8_t>(in);
        return {codes.begin(), codes.end()};
    }
    case 2: {
        const auto codes = read_planar<std::uint16_t>(in);
        return {codes.begin(), codes.end()};
    }
    case 4:
        return read_planar<std::uint32_t>(in);
    default:
        throw compressed_error(compressed_text::unknown_kind(kind));
    }
}

// low + (high - low) x q / L in double precision, rounded to a float. Without levels the
// codes carry nothing, and `low` is the only value they can stand for.
float dequantise(float low, float high, std::uint32_t levels, std::uint32_t code)
{
    if (levels == 0)
        return low;
    const double span = static_cast<double>(high) - static_cast<double>(low);
    return static_cast<float>(static_cast<double>(low) + span * static_cast<double>(code) / static_cast<double>(levels));
}

void decode_quantised(lib::io::BinaryInputStream& in, std::vector<float>& column)
{
    const auto kind = in.read_value<std::int32_t>();
    const auto levels = in.read_value<std::uint32_t>();
    const auto high = in.read_value<float>();
    const auto low = in.read_value<float>();
    const auto count = in.read_value<std::int32_t>();
    if (count < 0)
        throw compressed_error(compressed_text::negative_count(count));
    const auto positions = read_planar<std::int32_t>(in);
    const auto exact = read_planar<float>(in);
    if (positions.size() != exact.size())
        throw compressed_error(compressed_text::exact_values_mismatch(static_cast<std::int64_t>(positions.size()),
                                                                       static_cast<std::int64_t>(exact.size())));
    const auto codes = read_codes(in, kind);
    // Each value is an exact one or a code: more values than both together cannot be.
    if (static_cast<std::size_t>(count) > positions.size() + codes.size())
        throw compressed_error(compressed_text::codes_missing(count));

    // The writer lists the exact values as it walks the column, so their positions ascend;
    // any other order is damage, and walking (or searching) such a list has no meaning.
    if (!std::is_sorted(positions.begin(), positions.end()))
        throw compressed_error(std::string(compressed_text::positions_unordered));

    column.clear();
    column.reserve(static_cast<std::size_t>(count));
    std::size_t next_exact = 0;
    std::size_t next_code = 0;
    // The first position not below j only ever moves forward.
    auto found = positions.begin();
    for (std::int32_t j = 0; j < count; ++j) {
        while (found != positions.end() && *found < j)
            ++found;
        if (found != positions.end() && *found == j && next_exact < exact.size()) {
            column.push_back(exact[next_exact++]);
            continue;
        }
        if (next_code == codes.size())
            throw compressed_error(compressed_text::codes_missing(count));
        column.push_back(dequantise(low, high, levels, codes[next_code++]));
    }
}

// Values that were stored as logarithms; with the zero flag the lowest hundredth of the
// range stands for 0.
void apply_exponent(std::vector<float>& column, bool zero_flag)
{
    if (column.empty())
        return;
    const auto [lowest, highest] = std::minmax_element(column.begin(), column.end());
    const float lo = *lowest;
    const float range = *highest - lo;
    const auto threshold = static_cast<float>(static_cast<double>(lo) + static_cast<double>(range) * zero_share);
    for (float& value : column) {
        if (zero_flag && value < threshold)
            value = 0.0f;
        else
            value = static_cast<float>(std::pow(exponent_base, static_cast<double>(value)));
    }
}

void require_records(std::size_t count, std::size_t records)
{
    if (count != records)
        throw compressed_error(compressed_text::wrong_count(static_cast<std::int64_t>(count), records));
}

FileStorageParam read_param(lib::io::BinaryInputStream& in)
{
    FileStorageParam param;
    param.text1 = in.read_string();
    param.text2 = in.read_string();
    param.text3 = in.read_string();
    param.name = in.read_string();
    param.int_attr = in.read_value<std::int32_t>();
    param.float_attr = in.read_value<float>();
    return param;
}

// The count N and the N entries; the model's indexes come from add_parameter.
std::size_t read_params(FileStorage& model, lib::io::BinaryInputStream& in)
{
    const std::size_t count = checked_count(in, in.read_value<std::int32_t>(), smallest_param_entry);
    for (std::size_t i = 0; i < count; ++i)
        model.add_parameter(read_param(in));
    return count;
}

void make_records(FileStorage& model, std::size_t records, std::size_t values)
{
    model.records.clear();
    model.records.reserve(records);
    for (std::size_t i = 0; i < records; ++i) {
        auto item = boost::make_shared<FileStorageItem>();
        item->values.assign(values, 0.0f);
        model.records.push_back(std::move(item));
    }
}

// The decoded columns, kept until all are read and then written into the records row by
// row: writing one column at a time would touch every record's values once per parameter.
class ColumnBlock {
public:
    // Room for every column at once: grown column by column, the block would be moved and
    // its fresh pages faulted in again and again. It is no larger than the records' values,
    // which are already made.
    ColumnBlock(std::size_t records, std::size_t columns) : records_(records) { values_.reserve(records * columns); }

    void add(const std::vector<float>& column) { values_.insert(values_.end(), column.begin(), column.end()); }

    void store(FileStorage& model) const
    {
        const std::size_t columns = records_ == 0 ? 0 : values_.size() / records_;
        for (std::size_t i = 0; i < records_; ++i) {
            std::vector<float>& values = model.records[i]->values;
            const std::size_t width = std::min(columns, values.size());
            for (std::size_t u = 0; u < width; ++u)
                values[u] = values_[u * records_ + i];
        }
    }

private:
    std::size_t records_;
    std::vector<float> values_;
};

template <class T, class Set>
void read_record_field(FileStorage& model, lib::io::BinaryInputStream& in, Set set)
{
    const std::vector<T> list = read_planar<T>(in);
    require_records(list.size(), model.records.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        set(*model.records[i], list[i]);
}

// --- the column-file set -------------------------------------------------------------

class Member {
public:
    Member(const std::string& base, std::string_view suffix, lib::StrEncoding encoding)
    {
        file_.set_encoding(encoding);
        file_.open(base + std::string(suffix), true);
    }
    lib::io::InputMappedFile& in() { return file_; }

private:
    lib::io::InputMappedFile file_;
};

// Records are made before their times are read; the time member tells how many there can
// be, so a damaged count cannot make millions of empty records.
std::size_t time_capacity(const std::string& base, int form_version)
{
    Member times(base, ".time", lib::enc_1251);
    const std::uint64_t size = times.in().size();
    const std::uint64_t element = form_version >= 2 ? 8 : 4;
    return size < 4 ? 0 : static_cast<std::size_t>((size - 4) / element);
}

void read_values_member(FileStorage& model, const std::string& base, lib::StrEncoding encoding, std::size_t declared,
                        std::size_t capacity)
{
    Member values(base, ".values", encoding);
    lib::io::BinaryInputStream& in = values.in();
    const auto count = in.read_value<std::int32_t>();
    if (count < 0)
        throw compressed_error(compressed_text::negative_count(count));
    const auto records = static_cast<std::size_t>(count);
    if (records > capacity)
        throw compressed_error(compressed_text::wrong_count(static_cast<std::int64_t>(capacity), records));
    make_records(model, records, declared);
    std::vector<float> column(records, 0.0f);
    ColumnBlock block(records, static_cast<std::size_t>(model.param_count));
    for (int u = 0; u < model.param_count; ++u) {
        const bool exponent = in.read_value<std::uint8_t>() != 0;
        const bool zero = in.read_value<std::uint8_t>() != 0;
        decode_column(in, column);
        require_records(column.size(), records);
        if (exponent)
            apply_exponent(column, zero);
        block.add(column);
    }
    block.store(model);
}

void read_times(FileStorage& model, const std::string& base, int form_version)
{
    Member member(base, ".time", lib::enc_1251);
    if (form_version >= 2) {
        read_record_field<std::uint64_t>(model, member.in(), [](FileStorageItem& r, std::uint64_t v) {
            r.time = static_cast<std::uint32_t>(v >> time_shift);
            r.subsecond = static_cast<std::uint8_t>(v & subsecond_mask);
        });
    }
    else {
        read_record_field<std::uint32_t>(model, member.in(), [](FileStorageItem& r, std::uint32_t v) {
            r.time = v;
            r.subsecond = 0;
        });
    }
}

template <class T, class Set>
void read_member_field(FileStorage& model, const std::string& base, std::string_view suffix, Set set)
{
    Member member(base, suffix, lib::enc_1251);
    read_record_field<T>(model, member.in(), set);
}

} // namespace

void decode_column(lib::io::BinaryInputStream& in, std::vector<float>& column)
{
    const auto method = in.read_value<std::int32_t>();
    switch (method) {
    case method_raw:
        column = read_planar<float>(in);
        return;
    case method_quantised:
        decode_quantised(in, column);
        return;
    case method_wavelet:
        wave::decode_wavelet_column(in, column);
        return;
    default:
        throw compressed_error(compressed_text::unknown_method(method));
    }
}

void load_compressed(FileStorage& model, const std::string& base, int form_version)
{
    const lib::StrEncoding encoding = form_version > 1 ? lib::enc_utf8 : lib::enc_1251;
    model.version = form_version;
    std::size_t declared = 0;
    {
        Member params(base, ".params", encoding);
        declared = read_params(model, params.in());
    }
    read_values_member(model, base, encoding, declared, time_capacity(base, form_version));
    {
        Member text(base, ".text", encoding);
        model.text_values.set_text(text.in().read_string());
    }
    read_times(model, base, form_version);
    read_member_field<float>(model, base, ".depth_z", [](FileStorageItem& r, float v) { r.depth_z = v; });
    read_member_field<float>(model, base, ".depth_cur", [](FileStorageItem& r, float v) { r.depth_cur = v; });
    read_member_field<float>(model, base, ".lag_depth", [](FileStorageItem& r, float v) { r.lag_depth = v; });
    read_member_field<std::uint8_t>(model, base, ".operation", [](FileStorageItem& r, std::uint8_t v) { r.operation = v; });
    model.realtime_form = 1;
}

void read_stream_columns(FileStorage& model, lib::io::BinaryInputStream& in, StreamRecords& out)
{
    model.clear();
    const std::string magic = in.read_string();
    const auto version = in.read_value<std::int32_t>();
    if (magic != compressed_text::stream_magic)
        throw FileStorageException(std::string(compressed_text::bad_magic), true);
    if (version != compressed_text::stream_version)
        throw FileStorageException(std::string(compressed_text::bad_version), true);

    out.declared = read_params(model, in);
    model.text_values.set_text(in.read_string());
    const std::size_t records = checked_count(in, in.read_value<std::int32_t>(), sizeof(std::uint32_t));
    const auto read_field = [&](auto& list) {
        using T = typename std::decay_t<decltype(list)>::value_type;
        list = read_planar<T>(in);
        require_records(list.size(), records);
    };
    read_field(out.times);
    read_field(out.depth_z);
    read_field(out.depth_cur);
    read_field(out.lag_depth);
    read_field(out.operations);

    // Room for every column at once: grown column by column, the block would be moved and
    // its fresh pages faulted in again and again.
    out.values.clear();
    out.values.reserve(records * static_cast<std::size_t>(model.param_count));
    platform::advise_huge_pages(out.values.data(), out.values.capacity() * sizeof(float));
    std::vector<float> column(records, 0.0f);
    for (int u = 0; u < model.param_count; ++u) {
        decode_column(in, column);
        require_records(column.size(), records);
        out.values.insert(out.values.end(), column.begin(), column.end());
    }
    model.realtime_form = 1;
}

void load_after_decompressing(FileStorage& model, lib::io::BinaryInputStream& in)
{
    StreamRecords columns;
    read_stream_columns(model, in, columns);
    const std::size_t records = columns.times.size();
    make_records(model, records, columns.declared);
    const std::size_t width = std::min(columns.declared, static_cast<std::size_t>(model.param_count));
    for (std::size_t i = 0; i < records; ++i) {
        FileStorageItem& record = *model.records[i];
        record.time = columns.times[i];
        record.depth_z = columns.depth_z[i];
        record.depth_cur = columns.depth_cur[i];
        record.lag_depth = columns.lag_depth[i];
        record.operation = columns.operations[i];
        for (std::size_t u = 0; u < width; ++u)
            record.values[u] = columns.values[u * records + i];
    }
}

void rebuild_single_stream(lib::io::BinaryInputStream& in, const std::string& path, lib::io::Durability durability)
{
    FileStorage model;
    StreamRecords columns;
    read_stream_columns(model, in, columns);
    save_realtime_stream(model, columns, path, durability);
}
