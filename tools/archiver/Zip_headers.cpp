#include "tools/archiver/Zip_headers.h"

#include <string>
#include <string_view>

namespace archiver {
namespace {

// End of central directory record: signature, then at 10 the entry count (2 bytes), at 12
// the directory's size (4) and at 16 its offset (4); 22 bytes and a comment of up to 65535.
constexpr std::string_view end_signature("PK\x05\x06", 4);
constexpr std::size_t end_record_size = 22;
constexpr std::size_t max_comment_size = 0xFFFF;
// Central directory header: signature, flags at 8, name, extra and comment lengths at 28, 30
// and 32; 46 bytes before the name.
constexpr std::string_view central_signature("PK\x01\x02", 4);
constexpr std::size_t central_header_size = 46;
constexpr unsigned encrypted_flag = 0x0001;
constexpr std::uint64_t zip64_marker = 0xFFFFFFFF;

} // namespace

std::optional<bool> zip_directory_has_encrypted_entries(const ReadAt& read, std::uint64_t file_size)
{
    if (file_size < end_record_size)
        return std::nullopt;
    const std::uint64_t tail_size = std::min<std::uint64_t>(file_size, end_record_size + max_comment_size);
    const std::string tail = read(file_size - tail_size, static_cast<std::size_t>(tail_size));
    const auto end = tail.rfind(end_signature);
    if (end == std::string::npos || tail.size() - end < end_record_size)
        return std::nullopt;
    const std::uint64_t count = le_value(tail, end + 10, 2);
    const std::uint64_t size = le_value(tail, end + 12, 4);
    const std::uint64_t offset = le_value(tail, end + 16, 4);
    if (size == zip64_marker || offset == zip64_marker || offset + size > file_size)
        return std::nullopt;

    const std::string directory = read(offset, static_cast<std::size_t>(size));
    if (directory.size() != size)
        return std::nullopt;
    std::size_t at = 0;
    for (std::uint64_t entry = 0; entry < count; ++entry) {
        if (directory.size() - at < central_header_size || directory.compare(at, 4, central_signature) != 0)
            return std::nullopt;
        if (le_value(directory, at + 8, 2) & encrypted_flag)
            return true;
        at += central_header_size + le_value(directory, at + 28, 2) + le_value(directory, at + 30, 2)
            + le_value(directory, at + 32, 2);
        if (at > directory.size())
            return std::nullopt;
    }
    return false;
}

} // namespace archiver
