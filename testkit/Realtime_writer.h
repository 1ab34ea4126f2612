#pragma once
// A sector-level writer of real-time files: a test writes exactly the sectors it wants, in
// order, including wrong and damaged ones. The builder follows the file's variant (old until
// a format sector with a version other than 0) and string encoding as a reader would. A body
// that a 16-bit size cannot state throws std::length_error; write such files with
// raw_header and raw_bytes. Plain value, one thread.

#include "storage/Realtimedatareader.h"
#include "testkit/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testkit {

namespace realtime {
inline constexpr std::size_t header_size = 3;        // type u8, body size i16
inline constexpr std::size_t max_body_size = 32767;
inline constexpr std::size_t format_body_size = 8;   // version i32, encoding i32
inline constexpr std::size_t old_head_size = 18;
inline constexpr std::size_t new_head_size = 45;

inline constexpr std::uint8_t type_record = 1;
inline constexpr std::uint8_t type_params = 2;
inline constexpr std::uint8_t type_text_area = 3;
inline constexpr std::uint8_t type_remark = 4;
inline constexpr std::uint8_t type_values_only = 5;
inline constexpr std::uint8_t type_format = 99;
} // namespace realtime

class RealtimeFile {
public:
    // Sets the variant and encoding the next sectors are written in; writes nothing.
    explicit RealtimeFile(std::int32_t version = 0, lib::StrEncoding encoding = lib::enc_1251);

    // Type 99; switches the builder to that version and encoding.
    RealtimeFile& format(std::int32_t version, lib::StrEncoding encoding);
    // Type 2. `declared_count` replaces the column count field (low 8 bits in the old variant).
    RealtimeFile& params(const std::vector<FileStorageParam>& params,
                         std::optional<std::int32_t> declared_count = std::nullopt);
    // Type 1 with all item.values. `declared_count` replaces the head's count of values.
    RealtimeFile& record(const FileStorageItem& item, std::optional<std::uint32_t> declared_count = std::nullopt);
    // Type 5: the time, then the values.
    RealtimeFile& values_only(std::uint32_t time, const std::vector<float>& values);
    // Type 3: every line followed by CR LF, then one zero byte.
    RealtimeFile& text_area(const std::vector<std::string>& lines);
    // Type 4: value1, value2, value3, text.
    RealtimeFile& remark(const SimpleRemark& remark);

    RealtimeFile& raw_sector(std::uint8_t type, const Bytes& body);
    RealtimeFile& raw_header(std::uint8_t type, std::int16_t size);
    RealtimeFile& raw_bytes(const Bytes& bytes);
    // Strings of later sectors in this encoding, without a format sector saying so.
    RealtimeFile& use_encoding(lib::StrEncoding encoding);

    bool new_variant() const { return version_ != 0; }
    std::int32_t version() const { return version_; }
    lib::StrEncoding encoding() const { return encoding_; }
    // The offset the next sector starts at: note it before writing a sector to damage it.
    std::size_t size() const { return out_.size(); }
    const Bytes& bytes() const { return out_.bytes(); }
    void save(const std::string& path) const;

private:
    RealtimeFile& sector(std::uint8_t type, const Bytes& body);

    std::int32_t version_;
    lib::StrEncoding encoding_;
    ByteWriter out_;
};

// A typical whole file: with a version other than 0 a format sector (that version, UTF-8),
// then the parameters, the records and the text area; with version 0 the same sectors in
// the old variant and code page 1251, without a format sector.
Bytes realtime_file(const std::vector<FileStorageParam>& params, const std::vector<FileStorageItem>& records,
                    const std::vector<std::string>& text_lines, std::int32_t version = 2);

// Small files that load with exactly one warning of the reader each, named by its key:
// records holding fewer values than the file has columns (msg_data_skips), a damaged text
// area between records (msg_data_corrupt), and old-variant sectors after a format sector of
// the new one (msg_data_old_version).
struct WarnedFile {
    std::string key;
    Bytes bytes;
};
std::vector<WarnedFile> realtime_files_with_warnings();

} // namespace testkit
