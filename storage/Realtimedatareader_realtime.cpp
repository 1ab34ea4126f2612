// Reading the real-time form: a stream of self-describing sectors, with recovery from
// damaged ones (an old-variant retry, then a search for the next plausible sector).

#include "storage/Byte_cursor.h"
#include "storage/Realtime_layout.h"
#include "storage/Realtimedatareader.h"

#include "lib/Multilang.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace realtime_layout;
using storage::field;

namespace {

// A record value beyond this magnitude marks a broken record: all its values become 0.
constexpr double value_limit = 1e20;
constexpr std::string_view not_set = "::не задано::";

// Without an early exit, so that the test of a whole record runs without branches.
bool any_beyond_limit(const char* values, std::size_t count)
{
    bool beyond = false;
    for (std::size_t i = 0; i < count; ++i) {
        const double value = field<float>(values, i * sizeof(float));
        beyond |= (value > value_limit) | (value < -value_limit);
    }
    return beyond;
}

class RealtimeReader {
public:
    RealtimeReader(FileStorage& model, storage::ByteCursor& in) : model_(model), in_(in) {}

    // `from_start`: a file's first sector; otherwise the model stands as the earlier
    // sectors left it.
    void run(bool from_start = true);
    // Where the last sector read whole ends: a cut last sector, or bytes no sector could be
    // read from, lie beyond it.
    std::size_t whole_end() const { return whole_end_; }

private:
    enum class Attempt { first, old_variant_retry };

    bool parse_sector(int type, int size, Attempt attempt);
    bool parse_body(int type, int size);
    bool retry_as_old_variant(std::size_t header, int type, int size);
    void parse_format();
    void parse_params();
    bool parse_record(int size);
    void parse_text_area(int size);
    void parse_remark();
    void parse_values_only();
    void resynchronise(std::size_t failed_header);
    bool plausible_at(std::size_t position) const;

    void set_encoding(int encoding);
    void count_columns_in_place();
    void reserve_records(int size);
    std::string read_text() { return converter_.decode(in_.read_cstring()); }
    void map_values(const char* values, std::size_t count, std::vector<float>& out) const;
    bool accepts(std::uint32_t time) const { return time >= model_.time_from && time <= model_.time_to; }
    void warn(std::string_view key);

    FileStorage& model_;
    storage::ByteCursor& in_;
    lib::StrEncConverter converter_{lib::enc_1251};
    bool skips_ = false;
    bool corrupt_ = false;
    bool reserved_ = false;
    // Leading file columns that go to the parameter of the same index: copied as a block.
    std::size_t columns_in_place_ = 0;
    std::size_t whole_end_ = 0;
};

void RealtimeReader::warn(std::string_view key)
{
    model_.warnings.push_back(lib::text_of(lib::multilang().translate(key, "")));
}

void RealtimeReader::set_encoding(int encoding)
{
    model_.encoding = encoding;
    converter_.set_encoding(encoding);
}

// A file's columns usually are the model's parameters in the same order (always, when the
// model was empty): their values then need no mapping one by one.
void RealtimeReader::count_columns_in_place()
{
    std::size_t i = 0;
    while (i < model_.column_map.size() && model_.column_map[i] == static_cast<std::int32_t>(i))
        ++i;
    columns_in_place_ = i;
}

// Room for as many records as the rest of the file could hold if every sector were like the
// first record's, so that the list is not moved again and again as it grows.
void RealtimeReader::reserve_records(int size)
{
    if (reserved_ || !model_.keeps_records())
        return;
    reserved_ = true;
    const std::size_t sector = header_size + static_cast<std::size_t>(size);
    model_.records.reserve(model_.records.size() + in_.remaining() / sector + 1);
}

void RealtimeReader::run(bool from_start)
{
    if (from_start) {
        model_.version = 0;
        set_encoding(lib::enc_1251);
    }
    else {
        set_encoding(model_.encoding);
    }
    count_columns_in_place();
    while (!in_.at_end()) {
        const std::size_t header = in_.position();
        if (in_.remaining() < header_size) {
            corrupt_ = true; // a header cut off by the end of the file
            break;
        }
        const int type = in_.read<std::uint8_t>();
        const int size = in_.read<std::int16_t>();
        if (parse_sector(type, size, Attempt::first)
            || (model_.version != 0 && retry_as_old_variant(header, type, size))) {
            whole_end_ = in_.position();
            continue;
        }
        resynchronise(header);
        corrupt_ = true;
    }
    if (skips_)
        warn(storage_text::msg_data_skips);
    if (corrupt_)
        warn(storage_text::msg_data_corrupt);
}

bool RealtimeReader::retry_as_old_variant(std::size_t header, int type, int size)
{
    const int version = model_.version;
    const int encoding = model_.encoding;
    in_.seek(header + header_size);
    model_.version = 0;
    set_encoding(lib::enc_1251);
    if (parse_sector(type, size, Attempt::old_variant_retry)) {
        warn(storage_text::msg_data_old_version);
        return true;
    }
    model_.version = version;
    set_encoding(encoding);
    return false;
}

// A sector fails on an impossible header, a non-critical model error, or a body cut off by
// the end of the file (the station's append was interrupted, or the size is garbage).
// A critical error ends the load; in the retry every error is just a failure.
bool RealtimeReader::parse_sector(int type, int size, Attempt attempt)
{
    if (size <= 0 || type < 1 || type > max_sector_type)
        return false;
    try {
        return parse_body(type, size);
    }
    catch (const FileStorageException& error) {
        if (error.critical() && attempt == Attempt::first)
            throw;
        return false;
    }
    catch (const storage::TruncatedInput&) {
        return false;
    }
}

bool RealtimeReader::parse_body(int type, int size)
{
    switch (type) {
    case sector_format:
        parse_format();
        return true;
    case sector_params:
        parse_params();
        return true;
    case sector_record:
        return parse_record(size);
    case sector_text_area:
        parse_text_area(size);
        return true;
    case sector_remark:
        parse_remark();
        return true;
    case sector_values_only:
        parse_values_only();
        return true;
    default:
        in_.skip(static_cast<std::size_t>(size)); // reserved types
        return true;
    }
}

void RealtimeReader::parse_format()
{
    model_.version = in_.read<std::int32_t>();
    const int encoding = in_.read<std::int32_t>();
    // An encoding we do not know keeps the current one rather than losing every string.
    if (encoding >= lib::enc_866 && encoding <= lib::enc_utf8)
        set_encoding(encoding);
}

void RealtimeReader::parse_params()
{
    int count;
    if (model_.version == 0) {
        count = in_.read<std::uint8_t>();
    }
    else {
        count = in_.read<std::int32_t>();
        if (count < 0)
            throw FileStorageException(std::string(storage_text::sector_param_count) + std::to_string(count), false);
        if (count > FileStorage::max_params)
            throw FileStorageException(std::string(storage_text::too_many_params), false);
    }
    model_.file_column_count = count;
    model_.column_map.fill(-1);
    const int known = model_.param_count;
    // A list that ends early or overflows the model keeps what it had: the sector still counts.
    try {
        for (int column = 0; column < count; ++column) {
            FileStorageParam param;
            param.text1 = read_text();
            param.text3 = read_text();
            param.text2 = read_text();
            param.name = read_text();
            param.int_attr = in_.read<std::int32_t>();
            param.float_attr = in_.read<float>();
            model_.column_map[static_cast<std::size_t>(column)] = model_.add_parameter(param);
        }
    }
    catch (const std::exception&) {
    }
    count_columns_in_place();
    if (model_.param_count > known) {
        for (const auto& record : model_.records) {
            if (record->values.size() < static_cast<std::size_t>(model_.param_count))
                record->values.resize(static_cast<std::size_t>(model_.param_count), 0.0f);
        }
    }
}

// Value i belongs to file column i; columns without a parameter of this model are dropped.
void RealtimeReader::map_values(const char* values, std::size_t count, std::vector<float>& out) const
{
    const std::size_t columns = std::min<std::size_t>(count, FileStorage::max_params);
    const std::size_t in_place = std::min({columns, columns_in_place_, out.size()});
    if (in_place > 0) // a record of no parameters has no storage to copy into
        std::memcpy(out.data(), values, in_place * sizeof(float));
    for (std::size_t i = in_place; i < columns; ++i) {
        const std::int32_t index = model_.column_map[i];
        if (index < 0 || static_cast<std::size_t>(index) >= out.size())
            continue;
        std::memcpy(&out[static_cast<std::size_t>(index)], values + i * sizeof(float), sizeof(float));
    }
}

bool RealtimeReader::parse_record(int size)
{
    const bool old_variant = model_.version == 0;
    const int head = old_variant ? old_record_head : new_record_head;
    if (size < head)
        return false; // cannot hold its own head: not a record of this variant
    const char* bytes = in_.take(static_cast<std::size_t>(head));
    FileStorageItem item;
    item.time = field<std::uint32_t>(bytes, record_time);
    item.depth_z = field<float>(bytes, record_depth_z);
    item.lag_depth = field<float>(bytes, record_lag_depth);
    item.operation = field<std::uint8_t>(bytes, record_operation);
    item.depth_cur = field<float>(bytes, record_depth_cur);
    std::uint32_t declared;
    if (old_variant) {
        declared = field<std::uint8_t>(bytes, old_record_count);
    }
    else {
        if (model_.version >= 2)
            item.subsecond = field<std::uint8_t>(bytes, new_record_subsecond);
        declared = field<std::uint32_t>(bytes, new_record_count);
    }
    const std::size_t count = static_cast<std::size_t>(size - head) / sizeof(float);
    const char* values = in_.take(count * sizeof(float));
    // Only a record that was read whole tells about skipped columns.
    if (declared != static_cast<std::uint32_t>(model_.file_column_count))
        skips_ = true;
    if (!accepts(item.time))
        return true;
    if (old_variant && model_.param_count == 0)
        return true;

    reserve_records(size);
    item.values.assign(static_cast<std::size_t>(model_.param_count), 0.0f);
    map_values(values, count, item.values);
    if (any_beyond_limit(values, count))
        std::fill(item.values.begin(), item.values.end(), 0.0f);
    model_.add_record(std::move(item));
    return true;
}

void RealtimeReader::parse_text_area(int size)
{
    const char* bytes = in_.take(static_cast<std::size_t>(size));
    if (bytes[size - 1] != '\0')
        throw FileStorageException(std::string(storage_text::text_area_damaged), false);
    const std::string text = converter_.decode(bytes, static_cast<std::size_t>(size));
    for (const std::string_view line : lib::split_lines(text)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos || equals == 0)
            continue;
        std::string value(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (lib::to_lower(value) != not_set)
            model_.text_values.set_value(std::string_view(line).substr(0, equals), value);
    }
}

void RealtimeReader::parse_remark()
{
    SimpleRemark remark;
    remark.value1 = in_.read<std::uint32_t>();
    remark.value2 = in_.read<std::uint32_t>();
    remark.value3 = in_.read<std::uint32_t>();
    remark.text = read_text();
    model_.remarks.push_back(std::move(remark));
}

// Values-only records obey the time range too: otherwise every merge would append the
// arriving file's values-only records again.
void RealtimeReader::parse_values_only()
{
    FileStorageItem item;
    item.time = in_.read<std::uint32_t>();
    const auto count = static_cast<std::size_t>(std::max(model_.file_column_count, 0));
    const char* values = in_.take(count * sizeof(float));
    if (!accepts(item.time))
        return;
    item.stamped = 0;
    item.operation = values_only_operation;
    item.values.assign(static_cast<std::size_t>(model_.param_count), 0.0f);
    map_values(values, count, item.values);
    model_.add_record(std::move(item));
}

// Five headers in a row that could be real, or every header up to the exact end of the
// file when fewer remain, so that a damaged file's tail is not thrown away.
bool RealtimeReader::plausible_at(std::size_t position) const
{
    std::size_t at = position;
    for (int checked = 0; checked < plausible_run; ++checked) {
        if (at == in_.size() && checked > 0)
            return true;
        if (at > in_.size() || in_.size() - at < header_size)
            return false;
        const int type = field<std::uint8_t>(in_.data() + at, 0);
        const int size = field<std::int16_t>(in_.data() + at, 1);
        if (type < 1 || type > max_sector_type || size < 0)
            return false;
        at += header_size + static_cast<std::size_t>(size);
    }
    return true;
}

void RealtimeReader::resynchronise(std::size_t failed_header)
{
    for (std::size_t position = failed_header + 1; position < in_.size(); ++position) {
        if (plausible_at(position)) {
            in_.seek(position);
            return;
        }
    }
    in_.seek(in_.size());
}

} // namespace

bool load_realtime(FileStorage& model, const std::string& path)
{
    model.version = 0;
    model.encoding = lib::enc_1251;
    const storage::InputBytes file(path, !locking_disabled_for(path));
    storage::ByteCursor in = file.cursor();
    RealtimeReader(model, in).run();
    return true;
}

std::size_t load_realtime_bytes(FileStorage& model, const char* data, std::size_t size)
{
    model.version = 0;
    model.encoding = lib::enc_1251;
    storage::ByteCursor in(data, size);
    RealtimeReader reader(model, in);
    reader.run();
    model.realtime_form = 1;
    return reader.whole_end();
}

std::size_t continue_realtime_bytes(FileStorage& model, const char* data, std::size_t size)
{
    storage::ByteCursor in(data, size);
    RealtimeReader reader(model, in);
    reader.run(false);
    model.realtime_form = 1;
    return reader.whole_end();
}
