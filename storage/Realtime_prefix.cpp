#include "storage/Realtime_prefix.h"

#include "lib/Sys_utils.h"
#include "storage/Byte_cursor.h"
#include "storage/Data_file_kinds.h"
#include "storage/Realtime_layout.h"
#include "storage/Realtimedatareader.h"

#include <cstdint>
#include <cstring>
#include <optional>

namespace storage {

namespace {

bool is_realtime(const std::string& path)
{
    const data_file_kinds::DataFileKind* kind = data_file_kinds::of_extension(lib::extension_of(path));
    return kind && data_file_kinds::holds_records(kind->kind) && !data_file_kinds::is_classic(kind->kind);
}

// Where the last sector that ends within `bytes` ends, walking the headers from the start;
// nothing when a header is impossible on the way or the walk reaches the file's end.
std::optional<std::size_t> sector_cut(const char* data, std::size_t size, std::size_t bytes)
{
    using namespace realtime_layout;
    std::size_t at = 0;
    while (size - at >= header_size) {
        const int type = static_cast<std::uint8_t>(data[at]);
        std::int16_t body = 0;
        std::memcpy(&body, data + at + 1, sizeof body);
        if (type < 1 || type > max_sector_type || body <= 0)
            return std::nullopt;
        const std::size_t next = at + header_size + static_cast<std::size_t>(body);
        if (next > bytes || next > size)
            break;
        at = next;
    }
    if (at == 0 || at >= size)
        return std::nullopt;
    return at;
}

} // namespace

bool load_realtime_prefix(FileStorage& model, const std::string& path, std::size_t bytes)
{
    if (!is_realtime(path))
        return false;
    try {
        const InputBytes file(path, !locking_disabled_for(path));
        const ByteCursor whole = file.cursor();
        const std::optional<std::size_t> cut = sector_cut(whole.data(), whole.size(), bytes);
        if (!cut)
            return false;
        load_realtime_bytes(model, whole.data(), *cut);
    }
    catch (const std::exception&) {
        return false; // the whole read says why
    }
    return model.warnings.empty() && !model.records.empty();
}

} // namespace storage
