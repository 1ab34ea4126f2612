#include "storage/Classic_record.h"

#include "storage/Byte_cursor.h"
#include "storage/Classic_layout.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace storage {

namespace {

using namespace classic_layout;

// The expanded values are the IEEE-754 results of the formulas, infinities and NaN included.
static_assert(std::numeric_limits<float>::is_iec559);

// Byte j of record i lies at j x N + i: gather the records back, or spread them out.
std::string join_columns(const char* columns, std::size_t records, std::size_t size)
{
    std::string rows(records * size, '\0');
    for (std::size_t j = 0; j < size; ++j)
        for (std::size_t i = 0; i < records; ++i)
            rows[i * size + j] = columns[j * records + i];
    return rows;
}

std::string split_columns(const char* rows, std::size_t records, std::size_t size)
{
    std::string columns(records * size, '\0');
    for (std::size_t j = 0; j < size; ++j)
        for (std::size_t i = 0; i < records; ++i)
            columns[j * records + i] = rows[i * size + j];
    return columns;
}

template <class T>
void put(char* bytes, std::size_t offset, T value)
{
    std::memcpy(bytes + offset, &value, sizeof value);
}

template <class T, std::size_t N>
std::array<T, N> array_at(const char* bytes)
{
    std::array<T, N> values;
    std::memcpy(values.data(), bytes, sizeof values);
    return values;
}

template <class T, std::size_t N>
void append_array(std::string& out, const std::array<T, N>& values)
{
    out.append(reinterpret_cast<const char*>(values.data()), sizeof values);
}

// The classic record of a compact one: head and tail copied, the values from `value_of`.
template <class ValueOf>
void expand_record(const char* compact, char* record, ValueOf value_of)
{
    std::memcpy(record, compact, head_size);
    for (std::size_t k = 0; k < value_count; ++k)
        put(record, record_values + 4 * k, value_of(k, field<std::uint16_t>(compact, compact_values + 2 * k)));
    std::memcpy(record + record_tail, compact + compact_tail, tail_size);
}

// The compact record of a classic one: head and tail copied, the values through `quantum_of`.
template <class QuantumOf>
void shrink_record(const char* record, char* compact, QuantumOf quantum_of)
{
    std::memcpy(compact, record, head_size);
    for (std::size_t k = 0; k < value_count; ++k)
        put(compact, compact_values + 2 * k, quantum_of(k, field<float>(record, record_values + 4 * k)));
    std::memcpy(compact + compact_tail, record + record_tail, tail_size);
}

std::uint16_t nearest_quantum(double steps)
{
    if (!(steps > 0))
        return 0; // NaN too
    return static_cast<std::uint16_t>(std::min(std::round(steps), 65535.0));
}

// The compact records of `records`, stored by columns.
template <class QuantumOf>
std::string compact_columns(std::string_view records, QuantumOf quantum_of)
{
    const std::size_t count = records.size() / record_size;
    std::string rows(count * compact_record_size, '\0');
    for (std::size_t i = 0; i < count; ++i)
        shrink_record(records.data() + i * record_size, rows.data() + i * compact_record_size, quantum_of);
    return split_columns(rows.data(), count, compact_record_size);
}

std::int32_t compact_count_of(std::string_view file)
{
    return field<std::int32_t>(file.data(), classic_layout::compact_count);
}

} // namespace

FileStorageItem classic_item(const char* record)
{
    FileStorageItem item;
    item.operation = field<std::uint8_t>(record, record_operation);
    item.time = field<std::uint32_t>(record, record_time);
    item.depth_z = field<float>(record, record_depth_z);
    item.lag_depth = item.depth_z;
    item.depth_cur = field<float>(record, record_depth_cur);
    item.values.resize(value_count);
    std::memcpy(item.values.data(), record + record_values, value_count * sizeof(float));
    return item;
}

void append_classic_record(std::string& out, const FileStorageItem& item)
{
    char record[record_size] = {};
    put(record, record_operation, item.operation);
    put(record, record_time, item.time);
    put(record, record_depth_z, item.depth_z);
    put(record, record_depth_cur, item.depth_cur);
    const std::size_t count = std::min(value_count, item.values.size());
    std::memcpy(record + record_values, item.values.data(), count * sizeof(float));
    out.append(record, sizeof record);
}

std::string classic_from_planar(std::string_view columns)
{
    const std::size_t records = columns.size() / record_size;
    std::string rows = join_columns(columns.data(), records, record_size);
    rows.append(columns.substr(records * record_size)); // a tail that is no record stays
    return rows;
}

std::string classic_to_planar(std::string_view records)
{
    const std::size_t count = records.size() / record_size;
    std::string columns = split_columns(records.data(), count, record_size);
    columns.append(records.substr(count * record_size));
    return columns;
}

std::optional<std::string> classic_from_compact(std::string_view file)
{
    if (file.size() <= compact_head_size)
        return std::nullopt;
    const std::int32_t count = compact_count_of(file);
    if (count <= 0 || (file.size() - compact_head_size) / compact_record_size != static_cast<std::uint64_t>(count))
        return std::nullopt; // a head that does not fit its size
    const auto divisors = array_at<std::int16_t, value_count>(file.data() + compact_divisors);
    const auto records = static_cast<std::size_t>(count);
    const std::string compact = join_columns(file.data() + compact_head_size, records, compact_record_size);

    std::string classic(records * record_size, '\0');
    for (std::size_t i = 0; i < records; ++i)
        expand_record(compact.data() + i * compact_record_size, classic.data() + i * record_size,
                      [&](std::size_t k, std::uint16_t q) {
                          return divisors[k] == 0 ? 0.0f : static_cast<float>(static_cast<double>(q) / divisors[k]);
                      });
    return classic;
}

std::string classic_to_compact(std::string_view records, const ClassicDivisors& divisors)
{
    std::string file;
    append_array(file, divisors);
    const auto count = static_cast<std::int32_t>(records.size() / record_size);
    file.append(reinterpret_cast<const char*>(&count), sizeof count);
    file += compact_columns(records, [&](std::size_t k, float value) {
        return divisors[k] == 0 ? std::uint16_t{0} : nearest_quantum(static_cast<double>(value) * divisors[k]);
    });
    return file;
}

std::optional<std::string> classic_from_quantised(std::string_view file, std::uint16_t divisor)
{
    if (file.size() < quantised_head_size)
        return std::nullopt;
    const auto offsets = array_at<float, value_count>(file.data() + quantised_offsets);
    const auto scales = array_at<float, value_count>(file.data() + quantised_scales);
    const std::size_t records = (file.size() - quantised_head_size) / compact_record_size;
    const std::string compact = join_columns(file.data() + quantised_head_size, records, compact_record_size);
    const double by = divisor;

    std::string classic(records * record_size, '\0');
    for (std::size_t i = 0; i < records; ++i)
        expand_record(compact.data() + i * compact_record_size, classic.data() + i * record_size,
                      [&](std::size_t k, std::uint16_t q) {
                          return static_cast<float>(q * static_cast<double>(scales[k]) / by + offsets[k]);
                      });
    return classic;
}

std::string classic_to_quantised(std::string_view records, const ClassicFactors& offsets,
                                 const ClassicFactors& scales, std::uint16_t divisor)
{
    std::string file;
    append_array(file, offsets);
    append_array(file, scales);
    file += compact_columns(records, [&](std::size_t k, float value) {
        if (scales[k] == 0)
            return std::uint16_t{0};
        return nearest_quantum((static_cast<double>(value) - offsets[k]) * divisor / scales[k]);
    });
    return file;
}

RearrangedForm rearranged_form_of(std::string_view file)
{
    if (file.empty())
        return RearrangedForm::planar; // of no records
    if (file.size() % record_size != 0)
        return RearrangedForm::compact;
    if (file.size() % compact_record_size != 0)
        return RearrangedForm::planar;
    // A multiple of both sizes (so at least 11745 bytes): the compact head's count decides.
    const std::int32_t count = compact_count_of(file);
    return static_cast<std::uint64_t>(count) == (file.size() - compact_head_size) / compact_record_size
               ? RearrangedForm::compact
               : RearrangedForm::planar;
}

std::optional<std::string> classic_from_rearranged(std::string_view file)
{
    if (file.empty())
        return std::nullopt;
    if (rearranged_form_of(file) == RearrangedForm::compact)
        return classic_from_compact(file);
    return classic_from_planar(file);
}

} // namespace storage
