#include "tools/archiver/Rar_headers.h"

#include <optional>
#include <string_view>

namespace archiver {
namespace {

constexpr std::uint64_t rar5_signature_size = 8;
constexpr std::uint64_t rar4_signature_size = 7;
// RAR 5 allows headers of up to 2 MB; anything larger is damage.
constexpr std::uint64_t rar5_max_header_size = 2 * 1024 * 1024;
constexpr std::size_t vint_max_size = 10;

enum Rar5HeaderType : std::uint64_t { main_header = 1, file_header = 2, encryption_header = 4, end_header = 5 };
enum Rar5HeaderFlag : std::uint64_t { has_extra_area = 0x1, has_data_area = 0x2 };
enum Rar5ArchiveFlag : std::uint64_t { archive_volume = 0x1, has_volume_number = 0x2 };
constexpr std::uint64_t end_more_volumes = 0x1;
constexpr std::uint64_t extra_encryption_record = 0x1;

// RAR 4 main header: HEAD_CRC(2) HEAD_TYPE(1) HEAD_FLAGS(2) HEAD_SIZE(2).
constexpr unsigned char rar4_main_type = 0x73;
constexpr unsigned rar4_volume = 0x0001;
constexpr unsigned rar4_encrypted_headers = 0x0080;
constexpr unsigned rar4_first_volume = 0x0100;
// Every RAR 4 block: HEAD_CRC(2) HEAD_TYPE(1) HEAD_FLAGS(2) HEAD_SIZE(2), then ADD_SIZE(4) of
// data after the header when HEAD_FLAGS has 0x8000. A file header's ADD_SIZE is its PACK_SIZE.
constexpr std::size_t rar4_block_head_size = 7;
constexpr unsigned rar4_has_data = 0x8000;
constexpr unsigned char rar4_file_type = 0x74;
constexpr unsigned char rar4_end_type = 0x7B;
constexpr unsigned rar4_large_file = 0x0100;    // HIGH_PACK_SIZE at offset 32
constexpr unsigned rar4_folder_mask = 0x00E0;   // dictionary bits all set: a folder
constexpr std::size_t rar4_file_crc_offset = 16;
constexpr std::size_t rar4_high_pack_offset = 32;
constexpr std::size_t rar4_max_blocks = 10'000'000;

// A bounded view that is consumed from the front, as the headers are laid out.
class Cursor {
public:
    explicit Cursor(std::string_view bytes) : bytes_(bytes) {}

    // RAR 5's variable-length integer: 7 bits a byte, low bits first, high bit = more follow.
    std::optional<std::uint64_t> vint()
    {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < bytes_.size() && i < vint_max_size; ++i) {
            const auto byte = static_cast<unsigned char>(bytes_[i]);
            if (i * 7 < 64)
                value |= static_cast<std::uint64_t>(byte & 0x7F) << (i * 7);
            if ((byte & 0x80) == 0) {
                bytes_.remove_prefix(i + 1);
                return value;
            }
        }
        return std::nullopt;
    }

    bool skip(std::uint64_t count)
    {
        if (count > bytes_.size())
            return false;
        bytes_.remove_prefix(static_cast<std::size_t>(count));
        return true;
    }

    std::size_t consumed_from(std::string_view whole) const { return whole.size() - bytes_.size(); }
    std::string_view rest() const { return bytes_; }

private:
    std::string_view bytes_;
};

// The extra area of a file header is a list of records: size, type, then the record's data.
bool has_encryption_record(std::string_view extra)
{
    Cursor records(extra);
    while (!records.rest().empty()) {
        const auto size = records.vint();
        if (!size)
            return false;
        const std::string_view record = records.rest().substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(*size, records.rest().size())));
        Cursor fields(record);
        if (const auto type = fields.vint(); type && *type == extra_encryption_record)
            return true;
        if (!records.skip(*size))
            return false;
    }
    return false;
}

struct Rar5Header {
    std::uint64_t type = 0;
    std::string_view fields; // after the common fields (type, flags, extra and data sizes)
    std::string_view extra;  // the extra area at the end of the header
    std::uint64_t data_size = 0;
};

std::optional<Rar5Header> parse_rar5_header(std::string_view body)
{
    Cursor cursor(body);
    Rar5Header header;
    const auto type = cursor.vint();
    const auto flags = cursor.vint();
    if (!type || !flags)
        return std::nullopt;
    header.type = *type;
    std::uint64_t extra_size = 0;
    if (*flags & has_extra_area) {
        const auto size = cursor.vint();
        if (!size)
            return std::nullopt;
        extra_size = *size;
    }
    if (*flags & has_data_area) {
        const auto size = cursor.vint();
        if (!size)
            return std::nullopt;
        header.data_size = *size;
    }
    if (extra_size > cursor.rest().size())
        return std::nullopt;
    header.fields = cursor.rest().substr(0, cursor.rest().size() - static_cast<std::size_t>(extra_size));
    header.extra = cursor.rest().substr(header.fields.size());
    return header;
}

void apply_rar5_header(const Rar5Header& header, RarLayout& layout)
{
    Cursor fields(header.fields);
    switch (header.type) {
    case main_header:
        if (const auto flags = fields.vint()) {
            layout.volume = (*flags & archive_volume) != 0;
            if (*flags & has_volume_number)
                layout.volume_number = fields.vint().value_or(0);
        }
        break;
    case file_header:
        layout.file_encrypted = layout.file_encrypted || has_encryption_record(header.extra);
        break;
    case encryption_header:
        layout.headers_encrypted = true;
        break;
    case end_header:
        layout.more_volumes = (fields.vint().value_or(0) & end_more_volumes) != 0;
        layout.ended = true;
        break;
    default:
        break;
    }
}

} // namespace

RarLayout read_rar5_layout(const ReadAt& read)
{
    RarLayout layout;
    std::uint64_t offset = rar5_signature_size;
    while (!layout.ended && !layout.headers_encrypted) {
        // Each header: CRC32, the header's size as a vint, then that many bytes.
        const std::string start = read(offset, 4 + vint_max_size);
        if (start.size() < 5)
            break;
        Cursor cursor(std::string_view(start).substr(4));
        const auto size = cursor.vint();
        if (!size || *size == 0 || *size > rar5_max_header_size)
            break;
        const std::uint64_t body_offset = offset + 4 + cursor.consumed_from(std::string_view(start).substr(4));
        const std::string body = read(body_offset, static_cast<std::size_t>(*size));
        if (body.size() != *size)
            break;
        const auto header = parse_rar5_header(body);
        if (!header)
            break;
        apply_rar5_header(*header, layout);
        if (header->data_size > UINT64_MAX - body_offset - *size)
            break;
        offset = body_offset + *size + header->data_size;
    }
    return layout;
}

RarLayout read_rar4_layout(const ReadAt& read)
{
    RarLayout layout;
    const std::string main = read(rar4_signature_size, 7);
    if (main.size() < 7 || static_cast<unsigned char>(main[2]) != rar4_main_type)
        return layout;
    const unsigned flags = static_cast<unsigned char>(main[3]) | static_cast<unsigned>(static_cast<unsigned char>(main[4])) << 8;
    layout.headers_encrypted = (flags & rar4_encrypted_headers) != 0;
    layout.volume = (flags & rar4_volume) != 0;
    layout.volume_number = layout.volume && (flags & rar4_first_volume) == 0 ? 1 : 0;
    return layout;
}

std::optional<std::vector<Rar4File>> read_rar4_files(const ReadAt& read)
{
    std::vector<Rar4File> files;
    std::uint64_t offset = rar4_signature_size;
    for (std::size_t blocks = 0; blocks < rar4_max_blocks; ++blocks) {
        const std::string head = read(offset, rar4_block_head_size);
        if (head.size() < rar4_block_head_size)
            return std::nullopt;
        const auto type = static_cast<unsigned char>(head[2]);
        const auto flags = static_cast<unsigned>(le_value(head, 3, 2));
        const std::uint64_t size = le_value(head, 5, 2);
        if (type == rar4_end_type)
            return files;
        if (size < rar4_block_head_size)
            return std::nullopt;
        const std::string block = read(offset, static_cast<std::size_t>(size));
        if (block.size() != size)
            return std::nullopt;
        std::uint64_t data_size = 0;
        if (flags & rar4_has_data) {
            if (size < rar4_block_head_size + 4)
                return std::nullopt;
            data_size = le_value(block, rar4_block_head_size, 4);
        }
        if (type == rar4_file_type) {
            if (size < rar4_file_crc_offset + 4 || ((flags & rar4_large_file) && size < rar4_high_pack_offset + 4))
                return std::nullopt;
            if (flags & rar4_large_file)
                data_size |= le_value(block, rar4_high_pack_offset, 4) << 32;
            files.push_back({static_cast<std::uint32_t>(le_value(block, rar4_file_crc_offset, 4)),
                             (flags & rar4_folder_mask) == rar4_folder_mask});
        }
        offset += size + data_size;
    }
    return std::nullopt;
}

} // namespace archiver
