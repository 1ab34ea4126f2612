// Writing a model in the real-time form: a format sector (new variant), the parameters,
// one sector per record (values-only records as such), the remarks and the text area. The
// file is written beside the target and renamed over it only when complete.

#include "storage/Realtime_layout.h"
#include "storage/Realtimedatareader.h"

#include "lib/Fileworks.h"
#include "lib/io/File_replacement.h"

#include <algorithm>
#include <cstring>

using namespace realtime_layout;

namespace {

// The old variant stores the column count in 8 bits.
constexpr int old_variant_max_params = 255;
constexpr std::size_t body_capacity = 128;

template <class T>
void store(char* bytes, std::size_t offset, T value)
{
    std::memcpy(bytes + offset, &value, sizeof value);
}

std::string too_long_sector(std::string_view what, std::size_t size)
{
    return "Слишком длинный сектор " + std::string(what) + ": " + std::to_string(size) + " байт";
}

class RealtimeWriter {
public:
    RealtimeWriter(FileStorage& model, lib::io::BinaryOutputStream& out) : model_(model), out_(out) {}

    void write_all();
    void write_stream(const StreamRecords& records);
    void write_tail(const RealtimeTail& tail);

private:
    // What a record sector says besides its values.
    struct RecordHead {
        std::uint32_t time = 0;
        float depth_z = 0;
        float lag_depth = 0;
        std::uint8_t operation = 0;
        float depth_cur = 0;
        std::int32_t reserved2 = -1;
        std::int32_t reserved3 = -1;
        std::uint8_t subsecond = 0;
    };

    void write_head();
    void write_format();
    void write_params();
    void write_record(const FileStorageItem& item);
    void write_record(const RecordHead& head, const float* values, std::size_t count);
    void check_record_size(std::size_t value_count) const;
    void write_values_only(const FileStorageItem& item);
    void write_remark(const SimpleRemark& remark);
    void write_text_area();
    void write_text_lines(const std::vector<std::string>& lines);
    void put_sector(int type);
    bool new_variant() const { return model_.version != 0; }

    FileStorage& model_;
    lib::io::BinaryOutputStream& out_;
    lib::io::BinaryMemoryOutputStream body_{body_capacity};
};

void RealtimeWriter::put_sector(int type)
{
    const std::size_t size = body_.size();
    char header[header_size];
    header[0] = static_cast<char>(type);
    const auto size16 = static_cast<std::int16_t>(size);
    std::memcpy(header + 1, &size16, sizeof size16);
    out_.write(header, sizeof header);
    out_.write(body_.data(), size);
    body_.clear();
}

void RealtimeWriter::write_head()
{
    model_.encoding = new_variant() ? lib::enc_utf8 : lib::enc_1251;
    out_.set_encoding(model_.encoding);
    body_.set_encoding(model_.encoding);
    if (new_variant())
        write_format();
    write_params();
}

void RealtimeWriter::write_all()
{
    write_head();
    for (const auto& record : model_.records) {
        if (record->stamped == 0)
            write_values_only(*record);
        else
            write_record(*record);
    }
    // Remarks are the operators' notes: a rewritten file keeps them.
    for (const SimpleRemark& remark : model_.remarks)
        write_remark(remark);
    write_text_area();
}

// The stream's values lie parameter by parameter; a few hundred records at a time are turned
// into rows, so that each parameter's list is read along and the rows stay in the cache.
void RealtimeWriter::write_stream(const StreamRecords& records)
{
    constexpr std::size_t rows_at_once = 256;
    write_head();
    const std::size_t count = records.times.size();
    const std::size_t width = std::min(records.declared, records.values.size() / std::max<std::size_t>(count, 1));
    if (count > 0)
        check_record_size(records.declared); // before the rows are made for them
    std::vector<float> rows(std::min(rows_at_once, count) * records.declared, 0.0f);
    for (std::size_t first = 0; first < count; first += rows_at_once) {
        const std::size_t n = std::min(rows_at_once, count - first);
        for (std::size_t u = 0; u < width; ++u) {
            const float* column = records.values.data() + u * count + first;
            for (std::size_t i = 0; i < n; ++i)
                rows[i * records.declared + u] = column[i];
        }
        for (std::size_t i = 0; i < n; ++i) {
            RecordHead head;
            head.time = records.times[first + i];
            head.depth_z = records.depth_z[first + i];
            head.lag_depth = records.lag_depth[first + i];
            head.operation = records.operations[first + i];
            head.depth_cur = records.depth_cur[first + i];
            write_record(head, rows.data() + i * records.declared, records.declared);
        }
    }
    for (const SimpleRemark& remark : model_.remarks)
        write_remark(remark);
    write_text_area();
}

// The file's reader stands, at the end of the file, in the variant and encoding the tail
// must be written in; a parameter sector first when the new records' layout is not the
// file's last one.
void RealtimeWriter::write_tail(const RealtimeTail& tail)
{
    model_.version = tail.version;
    model_.encoding = tail.encoding;
    // A new-variant file in another code page is switched to UTF-8, as a rewrite would
    // write it, so that no arriving text is lost to the code page.
    if (new_variant() && model_.encoding != lib::enc_utf8) {
        model_.encoding = lib::enc_utf8;
        write_format();
    }
    out_.set_encoding(model_.encoding);
    body_.set_encoding(model_.encoding);
    if (tail.params)
        write_params();
    for (std::size_t i = tail.first_record; i < model_.records.size(); ++i) {
        const FileStorageItem& record = *model_.records[i];
        if (record.stamped == 0)
            write_values_only(record);
        else
            write_record(record);
    }
    for (std::size_t i = tail.first_remark; i < model_.remarks.size(); ++i)
        write_remark(model_.remarks[i]);
    if (!tail.text_lines.empty())
        write_text_lines(tail.text_lines);
}

void RealtimeWriter::write_format()
{
    body_.write_value<std::int32_t>(model_.version);
    body_.write_value<std::int32_t>(model_.encoding);
    put_sector(sector_format);
}

void RealtimeWriter::write_params()
{
    if (new_variant()) {
        body_.write_value<std::int32_t>(model_.param_count);
    }
    else {
        // Eight bits cannot say more: writing the low bits would shift every column.
        if (model_.param_count > old_variant_max_params)
            throw FileStorageException(std::string(storage_text::too_many_params) + ": "
                                           + std::to_string(model_.param_count),
                                       true);
        body_.write_value<std::uint8_t>(static_cast<std::uint8_t>(model_.param_count));
    }
    for (int i = 0; i < model_.param_count; ++i) {
        const FileStorageParam& param = model_.params[static_cast<std::size_t>(i)];
        body_.write_string(param.text1);
        body_.write_string(param.text3);
        body_.write_string(param.text2);
        body_.write_string(param.name);
        body_.write_value<std::int32_t>(param.int_attr);
        body_.write_value<float>(param.float_attr);
    }
    // One sector must describe every column; it cannot be split.
    if (body_.size() > static_cast<std::size_t>(max_body_size))
        throw FileStorageException(too_long_sector("описания параметров", body_.size()), true);
    put_sector(sector_params);
}

// Records are most of a file: the header and head are put together in place and go out with
// the values in two writes, without passing through the sector body.
void RealtimeWriter::write_record(const FileStorageItem& item)
{
    RecordHead head;
    head.time = item.time;
    head.depth_z = item.depth_z;
    head.lag_depth = item.lag_depth;
    head.operation = item.operation;
    head.depth_cur = item.depth_cur;
    head.reserved2 = item.reserved[2];
    head.reserved3 = item.reserved[3];
    head.subsecond = item.subsecond;
    write_record(head, item.values.data(), item.values.size());
}

void RealtimeWriter::write_record(const RecordHead& fields, const float* values, std::size_t value_count)
{
    char sector[header_size + new_record_head];
    char* const head = sector + header_size;
    store<std::uint32_t>(head, record_time, fields.time);
    store<float>(head, record_depth_z, fields.depth_z);
    store<float>(head, record_lag_depth, fields.lag_depth);
    store<std::uint8_t>(head, record_operation, fields.operation);
    store<float>(head, record_depth_cur, fields.depth_cur);
    const auto count = static_cast<std::uint32_t>(value_count);
    std::size_t head_size = old_record_head;
    if (new_variant()) {
        head_size = new_record_head;
        store<std::int32_t>(head, new_record_reserved, fields.reserved2);
        store<std::int32_t>(head, new_record_reserved + 4, fields.reserved3);
        std::size_t at = new_record_constants;
        for (const std::uint32_t word : new_record_words) {
            store<std::uint32_t>(head, at, word);
            at += sizeof word;
        }
        for (const std::uint8_t byte : new_record_bytes)
            store<std::uint8_t>(head, at++, byte);
        store<std::uint8_t>(head, new_record_subsecond, fields.subsecond);
        store<std::uint32_t>(head, new_record_count, count);
    }
    else {
        store<std::uint8_t>(head, old_record_count, static_cast<std::uint8_t>(count));
    }
    const std::size_t value_bytes = value_count * sizeof(float);
    check_record_size(value_count);
    store<std::uint8_t>(sector, 0, static_cast<std::uint8_t>(sector_record));
    store<std::int16_t>(sector, 1, static_cast<std::int16_t>(head_size + value_bytes));
    out_.write(sector, header_size + head_size);
    if (value_bytes > 0)
        out_.write(values, value_bytes);
}

// A longer body would wrap its 16-bit size and make the rest of the file unreadable.
void RealtimeWriter::check_record_size(std::size_t value_count) const
{
    const std::size_t size = (new_variant() ? new_record_head : old_record_head) + value_count * sizeof(float);
    if (size > static_cast<std::size_t>(max_body_size))
        throw FileStorageException(too_long_sector("записи", size), true);
}

// A values-only record has no head: its time, then exactly one value per declared column,
// since that is how many the reader takes.
void RealtimeWriter::write_values_only(const FileStorageItem& item)
{
    body_.write_value<std::uint32_t>(item.time);
    const auto columns = static_cast<std::size_t>(std::max(model_.param_count, 0));
    for (std::size_t column = 0; column < columns; ++column)
        body_.write_value<float>(column < item.values.size() ? item.values[column] : 0.0f);
    put_sector(sector_values_only);
}

void RealtimeWriter::write_remark(const SimpleRemark& remark)
{
    body_.write_value<std::uint32_t>(remark.value1);
    body_.write_value<std::uint32_t>(remark.value2);
    body_.write_value<std::uint32_t>(remark.value3);
    body_.write_string(remark.text);
    if (body_.size() > static_cast<std::size_t>(max_body_size))
        throw FileStorageException(too_long_sector("заметки", body_.size()), true);
    put_sector(sector_remark);
}

// A text area longer than one sector is split between whole lines: reading several text
// areas in turn gives the same lines.
void RealtimeWriter::write_text_area()
{
    write_text_lines(model_.text_values.lines());
}

void RealtimeWriter::write_text_lines(const std::vector<std::string>& lines)
{
    lib::ByteBuffer encoded;
    std::string chunk;
    std::size_t chunk_bytes = 1; // the closing zero byte
    const auto flush_chunk = [&] {
        body_.write_string(chunk);
        put_sector(sector_text_area);
        chunk.clear();
        chunk_bytes = 1;
    };
    for (const std::string& line : lines) {
        const std::string piece = line + "\r\n";
        body_.converter().encode(piece, encoded);
        const std::size_t piece_bytes = encoded.size() - 1; // without its zero byte
        if (1 + piece_bytes > static_cast<std::size_t>(max_body_size))
            throw FileStorageException(too_long_sector("текстовых данных", 1 + piece_bytes), true);
        if (chunk_bytes + piece_bytes > static_cast<std::size_t>(max_body_size))
            flush_chunk();
        chunk += piece;
        chunk_bytes += piece_bytes;
    }
    flush_chunk();
}

} // namespace

void save_realtime(FileStorage& model, const std::string& path, lib::io::Durability durability)
{
    lib::io::FileReplacement replacement(path, durability);
    lib::io::BinaryOutputFileStream out;
    out.open(replacement.temporary_path(), false, !locking_disabled_for(path));
    if (durability == lib::io::Durability::synced)
        out.write_back_early();
    RealtimeWriter(model, out).write_all();
    out.close();
    replacement.commit();
    lib::file_times(path, nullptr, &model.file_time);
}

void save_realtime_stream(FileStorage& model, const StreamRecords& records, const std::string& path,
                          lib::io::Durability durability)
{
    lib::io::FileReplacement replacement(path, durability);
    lib::io::BinaryOutputFileStream out;
    out.open(replacement.temporary_path(), false, !locking_disabled_for(path));
    if (durability == lib::io::Durability::synced)
        out.write_back_early();
    RealtimeWriter(model, out).write_stream(records);
    out.close();
    replacement.commit();
}

std::vector<char> realtime_tail(FileStorage& model, const RealtimeTail& tail)
{
    lib::io::BinaryMemoryOutputStream out(1 << 16);
    RealtimeWriter(model, out).write_tail(tail);
    return out.take_bytes();
}
