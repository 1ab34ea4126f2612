#include "testkit/Compressed_writer.h"

#include "testkit/Synthetic.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

namespace testkit {

namespace {

// Planes of w bytes each: every element's byte p goes into plane p.
template <class T>
Bytes planar_list(const std::vector<T>& values, std::optional<std::int32_t> declared_count)
{
    ByteWriter out;
    out.put_i32(declared_count.value_or(static_cast<std::int32_t>(values.size())));
    Bytes bytes = out.take();
    const std::size_t n = values.size();
    const std::size_t head = bytes.size();
    bytes.resize(head + n * sizeof(T));
    for (std::size_t p = 0; p < sizeof(T); ++p) {
        std::uint8_t* plane = bytes.data() + head + p * n;
        for (std::size_t j = 0; j < n; ++j)
            plane[j] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(values[j]) >> (8 * p));
    }
    return bytes;
}

std::uint32_t max_code(int kind)
{
    switch (kind) {
    case 1: return 0xFF;
    case 2: return 0xFFFF;
    case 4: return 0xFFFFFFFF;
    default: throw std::invalid_argument("quantised kind " + std::to_string(kind) + " has no code list");
    }
}

// What the reader makes of code q: the arithmetic in double, the result a float.
float dequantised(float low, float high, std::uint32_t levels, std::uint32_t q)
{
    const double low_d = low;
    return static_cast<float>(low_d + (static_cast<double>(high) - low_d) * static_cast<double>(q) /
                                          static_cast<double>(levels));
}

Bytes code_list(const QuantisedColumn& column)
{
    const std::uint32_t limit = max_code(column.kind);
    for (std::uint32_t code : column.codes)
        if (code > limit)
            throw std::invalid_argument("code " + std::to_string(code) + " does not fit kind " +
                                        std::to_string(column.kind));
    switch (column.kind) {
    case 1: return planar_list_8(std::vector<std::uint8_t>(column.codes.begin(), column.codes.end()));
    case 2: return planar_list_16(std::vector<std::uint16_t>(column.codes.begin(), column.codes.end()));
    default: return planar_list_32(column.codes);
    }
}

void put_body(ByteWriter& out, const RawColumn& column)
{
    out.put_bytes(planar_list_32f(column.values, column.declared_count));
}

void put_body(ByteWriter& out, const QuantisedColumn& column)
{
    const Bytes codes = code_list(column); // refuses a bad kind before anything is written
    out.put_i32(column.kind_field.value_or(column.kind))
        .put_u32(column.levels)
        .put_f32(column.high)
        .put_f32(column.low)
        .put_i32(column.count);
    std::vector<std::uint32_t> positions(column.positions.size());
    std::transform(column.positions.begin(), column.positions.end(), positions.begin(),
                   [](std::int32_t p) { return static_cast<std::uint32_t>(p); });
    out.put_bytes(planar_list_32(positions)).put_bytes(planar_list_32f(column.exact)).put_bytes(codes);
}

void put_body(ByteWriter& out, const WaveletColumn& column)
{
    out.put_i32(column.coefficient_count);
    for (const WaveletBlock& block : column.blocks) {
        out.put_f32(block.low).put_f32(block.high).put_u32(block.levels);
        out.put_bytes(planar_list_16(block.codes, block.declared_count));
    }
}

std::int32_t record_count(const CompressedSet& set)
{
    return set.record_count_override.value_or(static_cast<std::int32_t>(set.times.size()));
}

void put_params(ByteWriter& out, const CompressedSet& set, lib::StrEncoding encoding)
{
    out.put_i32(set.param_count_override.value_or(static_cast<std::int32_t>(set.params.size())));
    for (const FileStorageParam& param : set.params) {
        out.put_string(param.text1, encoding)
            .put_string(param.text2, encoding)
            .put_string(param.text3, encoding)
            .put_string(param.name, encoding)
            .put_i32(param.int_attr)
            .put_f32(param.float_attr);
    }
}

std::string joined_lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i != 0) text += "\r\n";
        text += lines[i];
    }
    return text;
}

Bytes string_bytes(std::string_view text, lib::StrEncoding encoding)
{
    ByteWriter out;
    out.put_string(text, encoding);
    return out.take();
}

Bytes time_list(const CompressedSet& set, bool with_subseconds)
{
    if (set.subseconds.size() > set.times.size())
        throw std::invalid_argument(std::to_string(set.subseconds.size()) + " subseconds for " +
                                    std::to_string(set.times.size()) + " times");
    if (!with_subseconds) return planar_list_32(set.times);
    std::vector<std::uint64_t> elements(set.times.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const std::uint8_t subsecond = i < set.subseconds.size() ? set.subseconds[i] : 0;
        elements[i] = (static_cast<std::uint64_t>(set.times[i]) << 32) | subsecond;
    }
    return planar_list_64(elements);
}

Bytes values_member(const CompressedSet& set)
{
    ByteWriter out;
    out.put_i32(record_count(set));
    for (const CompressedSet::ValueColumn& value : set.columns) {
        out.put_u8(value.exponent ? 1 : 0).put_u8(value.zero ? 1 : 0);
        out.put_bytes(column_bytes(value.column));
    }
    return out.take();
}

Bytes member(const CompressedSet& set, std::string_view suffix, int form_version)
{
    const bool new_form = form_version >= 2;
    const lib::StrEncoding encoding = new_form ? lib::enc_utf8 : lib::enc_1251;
    if (suffix == ".params") {
        ByteWriter out;
        put_params(out, set, encoding);
        return out.take();
    }
    if (suffix == ".values") return values_member(set);
    if (suffix == ".text") return string_bytes(joined_lines(set.text_lines), encoding);
    if (suffix == ".time") return time_list(set, new_form);
    if (suffix == ".depth_z") return planar_list_32f(set.depth_z);
    if (suffix == ".depth_cur") return planar_list_32f(set.depth_cur);
    if (suffix == ".lag_depth") return planar_list_32f(set.lag_depth);
    if (suffix == ".operation") return planar_list_8(set.operations);
    throw std::invalid_argument("no member \"" + std::string(suffix) + "\" in a compressed set");
}

} // namespace

Bytes planar_list_8(const std::vector<std::uint8_t>& values, std::optional<std::int32_t> declared_count)
{
    return planar_list(values, declared_count);
}

Bytes planar_list_16(const std::vector<std::uint16_t>& values, std::optional<std::int32_t> declared_count)
{
    return planar_list(values, declared_count);
}

Bytes planar_list_32(const std::vector<std::uint32_t>& values, std::optional<std::int32_t> declared_count)
{
    return planar_list(values, declared_count);
}

Bytes planar_list_32f(const std::vector<float>& values, std::optional<std::int32_t> declared_count)
{
    std::vector<std::uint32_t> patterns(values.size());
    std::transform(values.begin(), values.end(), patterns.begin(), [](float v) { return std::bit_cast<std::uint32_t>(v); });
    return planar_list(patterns, declared_count);
}

Bytes planar_list_64(const std::vector<std::uint64_t>& values, std::optional<std::int32_t> declared_count)
{
    return planar_list(values, declared_count);
}

Bytes column_bytes(const Column& column)
{
    ByteWriter out;
    const auto method = static_cast<std::int32_t>(column.body.index()) + compressed::method_raw;
    out.put_i32(column.method_override.value_or(method));
    std::visit([&out](const auto& body) { put_body(out, body); }, column.body);
    return out.take();
}

QuantisedColumn quantise(const std::vector<float>& values, int kind, std::uint32_t levels, double tolerance,
                         std::optional<std::array<float, 2>> range)
{
    if (levels == 0) throw std::invalid_argument("quantise: L = 0 gives no codes");
    if (levels > max_code(kind))
        throw std::invalid_argument("quantise: L " + std::to_string(levels) + " does not fit kind " +
                                    std::to_string(kind));
    QuantisedColumn column;
    column.kind = kind;
    column.levels = levels;
    column.count = static_cast<std::int32_t>(values.size());
    if (range) {
        column.low = (*range)[0];
        column.high = (*range)[1];
    }
    else {
        bool any = false;
        for (float v : values) {
            if (!std::isfinite(v)) continue;
            column.low = any ? std::min(column.low, v) : v;
            column.high = any ? std::max(column.high, v) : v;
            any = true;
        }
    }
    const double low = column.low;
    const double span = static_cast<double>(column.high) - low;
    column.codes.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const float v = values[i];
        bool exact = !std::isfinite(v) || v < column.low || v > column.high;
        std::uint32_t code = 0;
        if (!exact && span > 0) {
            const double scaled = std::round((static_cast<double>(v) - low) / span * levels);
            code = static_cast<std::uint32_t>(std::clamp(scaled, 0.0, static_cast<double>(levels)));
        }
        if (!exact) {
            const double error = std::fabs(static_cast<double>(dequantised(column.low, column.high, levels, code)) - v);
            exact = error > tolerance;
        }
        if (exact) {
            column.positions.push_back(static_cast<std::int32_t>(i));
            column.exact.push_back(v);
        }
        else {
            column.codes.push_back(code);
        }
    }
    return column;
}

std::vector<float> dequantise(const QuantisedColumn& column)
{
    if (column.count < 0 || column.positions.size() != column.exact.size() ||
        static_cast<std::size_t>(column.count) != column.positions.size() + column.codes.size())
        throw std::invalid_argument("dequantise: n, positions, exact values and codes do not fit together");
    if (column.levels == 0) throw std::invalid_argument("dequantise: L = 0");
    std::vector<float> values;
    values.reserve(static_cast<std::size_t>(column.count));
    std::size_t next_exact = 0;
    std::size_t next_code = 0;
    for (std::int32_t j = 0; j < column.count; ++j) {
        if (next_exact < column.positions.size() && column.positions[next_exact] == j) {
            values.push_back(column.exact[next_exact++]);
        }
        else {
            if (next_code == column.codes.size())
                throw std::invalid_argument("dequantise: positions are not ascending within n");
            values.push_back(dequantised(column.low, column.high, column.levels, column.codes[next_code++]));
        }
    }
    return values;
}

WaveletColumn wavelet_constant_column(std::int32_t coefficient_count, float a, bool two_blocks)
{
    const std::size_t n = static_cast<std::size_t>(std::max(coefficient_count, 0));
    const std::size_t approximations = std::min(n, compressed::approximation_count);
    WaveletColumn column;
    column.coefficient_count = coefficient_count;
    WaveletBlock first{.low = 0.0f, .high = a, .levels = 1, .codes = std::vector<std::uint16_t>(approximations, 1)};
    if (!two_blocks) {
        first.codes.resize(n, 0);
        column.blocks.push_back(std::move(first));
        return column;
    }
    column.blocks.push_back(std::move(first));
    column.blocks.push_back(
        WaveletBlock{.low = -1.0f, .high = 1.0f, .levels = 2, .codes = std::vector<std::uint16_t>(n - approximations, 1)});
    return column;
}

std::vector<CompressedMember> compressed_set_members(const CompressedSet& set, int form_version)
{
    std::vector<CompressedMember> members;
    for (std::string_view suffix : compressed::member_suffixes)
        members.push_back({std::string(suffix), member(set, suffix, form_version)});
    return members;
}

Bytes compressed_set_member_bytes(const CompressedSet& set, std::string_view suffix, int form_version)
{
    return member(set, suffix, form_version);
}

void write_compressed_members(const std::vector<CompressedMember>& members, const std::string& base)
{
    for (const CompressedMember& m : members)
        write_file(base + m.suffix, m.bytes);
}

void write_compressed_set(const CompressedSet& set, const std::string& base, int form_version)
{
    write_compressed_members(compressed_set_members(set, form_version), base);
}

Bytes single_stream(const CompressedSet& set, const SingleStreamHead& head)
{
    ByteWriter out;
    out.put_string(head.magic, lib::enc_1251).put_i32(head.version);
    put_params(out, set, lib::enc_1251);
    out.put_string(joined_lines(set.text_lines), lib::enc_1251);
    out.put_i32(record_count(set));
    out.put_bytes(planar_list_32(set.times))
        .put_bytes(planar_list_32f(set.depth_z))
        .put_bytes(planar_list_32f(set.depth_cur))
        .put_bytes(planar_list_32f(set.lag_depth))
        .put_bytes(planar_list_8(set.operations));
    for (const CompressedSet::ValueColumn& value : set.columns)
        out.put_bytes(column_bytes(value.column));
    return out.take();
}

CompressedSet synthetic_compressed_set(std::size_t record_count, std::size_t param_count, std::uint32_t seed)
{
    const std::vector<FileStorageItem> records = synthetic_records(record_count, param_count, seed);
    CompressedSet set;
    set.params = synthetic_params(param_count);
    set.text_lines = {"Месторождение=Северное", "Скважина=101"};
    set.times.reserve(record_count);
    set.depth_z.reserve(record_count);
    set.depth_cur.reserve(record_count);
    set.lag_depth.reserve(record_count);
    set.operations.reserve(record_count);
    for (const FileStorageItem& item : records) {
        set.times.push_back(item.time);
        set.depth_z.push_back(item.depth_z);
        set.depth_cur.push_back(item.depth_cur);
        set.lag_depth.push_back(item.lag_depth);
        set.operations.push_back(item.operation);
    }

    std::size_t coefficient_count = compressed::min_coefficient_count;
    while (coefficient_count < record_count)
        coefficient_count *= 2;
    // A few dropouts per quantised column, spread evenly; at most one per record.
    const std::size_t dropout_count = std::min(record_count, 3 + record_count / 20000);

    std::vector<float> values(record_count);
    for (std::size_t u = 0; u < param_count; ++u) {
        for (std::size_t i = 0; i < record_count; ++i)
            values[i] = records[i].values[u];
        CompressedSet::ValueColumn value;
        switch (u % 5) {
        case 0:
            if (u % 10 == 5) {
                // Synthetic values are all well above 0, so their logarithms exist.
                std::vector<float> logs(record_count);
                std::transform(values.begin(), values.end(), logs.begin(),
                               [](float v) { return static_cast<float>(std::log(static_cast<double>(v))); });
                value.exponent = true;
                value.column.body = RawColumn{.values = std::move(logs)};
            }
            else {
                value.column.body = RawColumn{.values = values};
            }
            break;
        case 1:
        case 2:
        case 3: {
            static constexpr int kinds[] = {1, 2, 4};
            static constexpr std::uint32_t levels[] = {255, 4095, 1'000'000};
            const std::size_t k = u % 5 - 1;
            std::array<float, 2> range = {0.0f, 0.0f};
            if (record_count != 0) {
                const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
                range = {*lo, *hi};
            }
            std::vector<float> with_dropouts = values;
            for (std::size_t d = 0; d < dropout_count; ++d)
                with_dropouts[(2 * d + 1) * record_count / (2 * dropout_count)] = 0.0f; // below the range
            value.column.body = quantise(with_dropouts, kinds[k], levels[k], std::numeric_limits<double>::infinity(), range);
            break;
        }
        default: {
            double sum = 0;
            for (float v : values)
                sum += v;
            const float mean = record_count == 0 ? 0.0f : static_cast<float>(sum / static_cast<double>(record_count));
            value.column.body = wavelet_constant_column(static_cast<std::int32_t>(coefficient_count), mean, true);
            break;
        }
        }
        set.columns.push_back(std::move(value));
    }
    return set;
}

} // namespace testkit
