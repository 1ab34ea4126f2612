#include "testkit/Realtime_writer.h"

#include <stdexcept>

namespace testkit {

namespace {

// Constant fields of the new record head; the program's writer always puts these values.
constexpr std::uint32_t head_constant_a = 14;
constexpr std::uint32_t head_constant_b = 5;
constexpr std::uint32_t head_constant_c = 4;
constexpr std::uint8_t head_marker_a = 7;
constexpr std::uint8_t head_marker_b = 47;
constexpr std::uint8_t head_marker_c = 107;

void put_common_head(ByteWriter& out, const FileStorageItem& item)
{
    out.put_u32(item.time).put_f32(item.depth_z).put_f32(item.lag_depth).put_u8(item.operation).put_f32(item.depth_cur);
}

Bytes record_body(const FileStorageItem& item, bool new_variant, std::uint32_t count)
{
    ByteWriter out;
    put_common_head(out, item);
    if (new_variant) {
        out.put_i32(item.reserved[2]).put_i32(item.reserved[3]);
        out.put_u32(head_constant_a).put_u32(head_constant_b).put_u32(head_constant_c);
        out.put_u8(head_marker_a).put_u8(head_marker_b).put_u8(head_marker_c);
        out.put_u8(item.subsecond).put_u32(count);
    }
    else {
        out.put_u8(static_cast<std::uint8_t>(count));
    }
    for (float value : item.values)
        out.put_f32(value);
    return out.take();
}

Bytes params_body(const std::vector<FileStorageParam>& params, bool new_variant, std::int32_t count,
                  lib::StrEncoding encoding)
{
    ByteWriter out;
    if (new_variant)
        out.put_i32(count);
    else
        out.put_u8(static_cast<std::uint8_t>(count));
    // The second and third texts change places in this form only.
    for (const FileStorageParam& param : params) {
        out.put_string(param.text1, encoding)
            .put_string(param.text3, encoding)
            .put_string(param.text2, encoding)
            .put_string(param.name, encoding)
            .put_i32(param.int_attr)
            .put_f32(param.float_attr);
    }
    return out.take();
}

std::string joined_lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

} // namespace

RealtimeFile::RealtimeFile(std::int32_t version, lib::StrEncoding encoding) : version_(version), encoding_(encoding)
{
}

RealtimeFile& RealtimeFile::sector(std::uint8_t type, const Bytes& body)
{
    if (body.size() > realtime::max_body_size)
        throw std::length_error("sector body of " + std::to_string(body.size()) + " bytes does not fit a 16-bit size");
    out_.put_u8(type).put_i16(static_cast<std::int16_t>(body.size())).put_bytes(body);
    return *this;
}

RealtimeFile& RealtimeFile::format(std::int32_t version, lib::StrEncoding encoding)
{
    ByteWriter body;
    body.put_i32(version).put_i32(encoding);
    sector(realtime::type_format, body.bytes());
    version_ = version;
    encoding_ = encoding;
    return *this;
}

RealtimeFile& RealtimeFile::params(const std::vector<FileStorageParam>& params, std::optional<std::int32_t> declared_count)
{
    const auto count = declared_count.value_or(static_cast<std::int32_t>(params.size()));
    return sector(realtime::type_params, params_body(params, new_variant(), count, encoding_));
}

RealtimeFile& RealtimeFile::record(const FileStorageItem& item, std::optional<std::uint32_t> declared_count)
{
    const auto count = declared_count.value_or(static_cast<std::uint32_t>(item.values.size()));
    return sector(realtime::type_record, record_body(item, new_variant(), count));
}

RealtimeFile& RealtimeFile::values_only(std::uint32_t time, const std::vector<float>& values)
{
    ByteWriter body;
    body.put_u32(time);
    for (float value : values)
        body.put_f32(value);
    return sector(realtime::type_values_only, body.bytes());
}

RealtimeFile& RealtimeFile::text_area(const std::vector<std::string>& lines)
{
    ByteWriter body;
    body.put_string(joined_lines(lines), encoding_);
    return sector(realtime::type_text_area, body.bytes());
}

RealtimeFile& RealtimeFile::remark(const SimpleRemark& remark)
{
    ByteWriter body;
    body.put_u32(remark.value1).put_u32(remark.value2).put_u32(remark.value3).put_string(remark.text, encoding_);
    return sector(realtime::type_remark, body.bytes());
}

RealtimeFile& RealtimeFile::raw_sector(std::uint8_t type, const Bytes& body)
{
    return sector(type, body);
}

RealtimeFile& RealtimeFile::raw_header(std::uint8_t type, std::int16_t size)
{
    out_.put_u8(type).put_i16(size);
    return *this;
}

RealtimeFile& RealtimeFile::raw_bytes(const Bytes& bytes)
{
    out_.put_bytes(bytes);
    return *this;
}

RealtimeFile& RealtimeFile::use_encoding(lib::StrEncoding encoding)
{
    encoding_ = encoding;
    return *this;
}

void RealtimeFile::save(const std::string& path) const
{
    write_file(path, bytes());
}

Bytes realtime_file(const std::vector<FileStorageParam>& params, const std::vector<FileStorageItem>& records,
                    const std::vector<std::string>& text_lines, std::int32_t version)
{
    RealtimeFile file;
    if (version != 0) file.format(version, lib::enc_utf8);
    file.params(params);
    for (const FileStorageItem& item : records)
        file.record(item);
    file.text_area(text_lines);
    return file.bytes();
}

std::vector<WarnedFile> realtime_files_with_warnings()
{
    std::vector<FileStorageParam> params(3);
    const char* const names[] = {"Глубина", "Вес", "Давление"};
    for (std::size_t i = 0; i < params.size(); ++i) {
        params[i].name = names[i];
        params[i].text1 = "описание";
        params[i].text2 = "ед";
        params[i].text3 = "кр";
    }
    const auto at = [](std::uint32_t time, std::vector<float> values) {
        FileStorageItem item;
        item.time = time;
        item.depth_z = 5;
        item.values = std::move(values);
        return item;
    };

    RealtimeFile skips(2, lib::enc_utf8);
    skips.format(2, lib::enc_utf8).params(params).record(at(1, {1, 2})).record(at(2, {3, 4}));

    RealtimeFile corrupt;
    corrupt.params(params).record(at(1, {1, 2, 3})).raw_sector(realtime::type_text_area, {'a', '=', 'b'});
    corrupt.record(at(2, {4, 5, 6}));

    Bytes old_after_new = RealtimeFile().format(2, lib::enc_utf8).bytes();
    const Bytes old = RealtimeFile(0).params(params).record(at(10, {1, 2, 3})).record(at(11, {4, 5, 6})).bytes();
    old_after_new.insert(old_after_new.end(), old.begin(), old.end());

    return {{std::string(storage_text::msg_data_skips), skips.bytes()},
            {std::string(storage_text::msg_data_corrupt), corrupt.bytes()},
            {std::string(storage_text::msg_data_old_version), old_after_new}};
}

} // namespace testkit
