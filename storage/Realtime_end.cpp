#include "storage/Realtime_end.h"

#include "platform/File.h"
#include "storage/Byte_cursor.h"
#include "storage/Classic_layout.h"
#include "storage/Realtime_layout.h"
#include "storage/Realtimedatareader.h"

#include <algorithm>
#include <cstring>

using namespace realtime_layout;

namespace storage {

namespace {

// A backward read takes one page: the last record and a closing sector usually lie in it.
constexpr std::size_t backward_page = 4096;

std::size_t read_fully_at(int fd, char* out, std::size_t n, std::uint64_t offset)
{
    std::size_t got = 0;
    while (got < n) {
        const std::int64_t r = platform::read_at(fd, out + got, n - got, offset + got);
        if (r <= 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

std::size_t record_head(std::int32_t version)
{
    return version != 0 ? new_record_head : old_record_head;
}

// The offset just past the first NUL at or after `from` in `bytes[0, n)`, or 0 without one.
std::size_t past_text(const char* bytes, std::size_t from, std::size_t n)
{
    if (from >= n)
        return 0;
    const void* nul = std::memchr(bytes + from, '\0', n - from);
    return nul == nullptr ? 0 : static_cast<std::size_t>(static_cast<const char*>(nul) - bytes) + 1;
}

// Whether the reader's parameter list ends where the sector does: a count, then per column
// four texts and two numbers. A list that would stop early or run on leaves the reader off
// the sector bounds.
bool parameter_list_fills(const char* body, std::size_t size, std::int32_t version, std::int32_t& columns)
{
    std::size_t at = 0;
    std::int64_t count;
    if (version == 0) {
        count = field<std::uint8_t>(body, 0);
        at = 1;
    }
    else {
        if (size < 4)
            return false;
        count = field<std::int32_t>(body, 0);
        at = 4;
        if (count < 0 || count > FileStorage::max_params)
            return false;
    }
    for (std::int64_t column = 0; column < count; ++column) {
        for (int text = 0; text < 4; ++text) {
            at = past_text(body, at, size);
            if (at == 0)
                return false;
        }
        at += 8;
        if (at > size)
            return false;
    }
    columns = static_cast<std::int32_t>(count);
    return at == size;
}

// Takes one sector's body into the walk; false where the reader would not end at its end.
bool take_sector(int type, const char* body, std::size_t size, SectorWalk& walk)
{
    switch (type) {
    case sector_format:
        if (size != 8)
            return false;
        walk.version = field<std::int32_t>(body, 0);
        return true;
    case sector_params:
        if (!parameter_list_fills(body, size, walk.version, walk.columns))
            return false;
        walk.has_params = walk.has_params || walk.columns > 0;
        return true;
    case sector_record: {
        const std::size_t head = record_head(walk.version);
        if (size < head || (size - head) % sizeof(float) != 0)
            return false;
        // The reader drops old-variant records that come before any parameter.
        if (walk.version != 0 || walk.has_params)
            walk.newest.take(field<std::uint32_t>(body, record_time), field<float>(body, record_depth_z));
        return true;
    }
    case sector_text_area:
        return body[size - 1] == '\0';
    case sector_remark:
        return size > 12 && past_text(body, 12, size) == size;
    case sector_values_only:
        if (size != sizeof(std::uint32_t) + sizeof(float) * static_cast<std::size_t>(std::max(walk.columns, 0)))
            return false;
        walk.newest.take(field<std::uint32_t>(body, 0), NAN);
        return true;
    default:
        return true; // reserved types are skipped by their size
    }
}

// Whether the reader, going on into the bytes of a sector cut by the end of the file (or
// searching them for the next sector), could take a record from them: a record or
// values-only header whose body fits before the end, at any offset of the cut bytes.
bool tail_may_hold_records(FileWindow& file, std::uint64_t cut, std::uint64_t size)
{
    const std::size_t n = static_cast<std::size_t>(size - cut);
    const char* tail = file.at(cut, n);
    if (tail == nullptr)
        return true;
    for (std::size_t at = 0; at + header_size <= n; ++at) {
        const int type = field<std::uint8_t>(tail, at);
        const int body = field<std::int16_t>(tail, at + 1);
        const std::size_t room = n - at - header_size;
        // A record is read by whole values after its head; one of the new variant that fails
        // is read again with the old, shorter head, which may end before the cut.
        const bool record = type == sector_record && body >= old_record_head &&
                            static_cast<std::size_t>(body - (body - old_record_head) % 4) <= room;
        // A values-only body is read by the parameter count, whatever its size says.
        const bool values_only = type == sector_values_only && body > 0 && sizeof(std::uint32_t) <= room;
        if (record || values_only)
            return true;
    }
    return false;
}

} // namespace

const char* FileWindow::at(std::uint64_t offset, std::size_t n, Ahead ahead)
{
    if (offset >= start_ && offset + n <= start_ + buffer_.size())
        return buffer_.data() + (offset - start_);
    std::uint64_t start = offset;
    std::uint64_t length = std::max<std::uint64_t>(n, chunk_);
    if (ahead == Ahead::backward) {
        length = std::max<std::uint64_t>(n, backward_page);
        start = offset + n > length ? offset + n - length : 0;
        length = offset + n - start;
    }
    else if (size_ > offset) {
        length = std::max<std::uint64_t>(n, std::min<std::uint64_t>(length, size_ - offset));
    }
    buffer_.resize(static_cast<std::size_t>(length));
    start_ = start;
    buffer_.resize(read_fully_at(fd_, buffer_.data(), buffer_.size(), start));
    if (offset + n > start_ + buffer_.size())
        return nullptr;
    return buffer_.data() + (offset - start_);
}

std::optional<NewestRecord> classic_newest(FileWindow& file, std::uint64_t size)
{
    constexpr std::size_t record_size = classic_layout::record_size;
    NewestRecord newest;
    for (std::uint64_t end = size - size % record_size; end >= record_size; end -= record_size) {
        const char* record = file.at(end - record_size, record_size, FileWindow::Ahead::backward);
        if (record == nullptr)
            return std::nullopt;
        const auto time = field<std::uint32_t>(record, classic_layout::record_time);
        if (time != 0) {
            newest.take(time, field<float>(record, classic_layout::record_depth_z));
            return newest;
        }
    }
    return newest;
}

bool walk_sectors(FileWindow& file, std::uint64_t size, SectorWalk& walk)
{
    std::uint64_t pos = walk.end;
    while (pos < size) {
        if (size - pos < header_size)
            break; // the reader stops at a cut header
        const char* header = file.at(pos, header_size);
        if (header == nullptr)
            return false;
        const int type = field<std::uint8_t>(header, 0);
        const int body = field<std::int16_t>(header, 1);
        if (type < 1 || type > max_sector_type || body <= 0)
            return false;
        const std::uint64_t next = pos + header_size + static_cast<std::uint64_t>(body);
        if (next > size) {
            // A last sector cut by the end (an append under way, or one interrupted): whole
            // sectors only, unless the reader would find more in the cut bytes.
            if (tail_may_hold_records(file, pos, size))
                return false;
            break;
        }
        const char* bytes = file.at(pos + header_size, static_cast<std::size_t>(body));
        if (bytes == nullptr || !take_sector(type, bytes, static_cast<std::size_t>(body), walk))
            return false;
        pos = next;
        walk.end = pos;
    }
    return true;
}

std::optional<SectorWalk> indexed_newest(FileWindow& file, const WellFileSummary& summary)
{
    const std::uint64_t end = summary.whole_length;
    const std::size_t body = record_head(summary.version) + sizeof(float) * summary.layout.size();
    if (summary.largest_time == 0 || body > static_cast<std::size_t>(max_body_size) || end < header_size + body)
        return std::nullopt;
    SectorWalk known;
    known.version = summary.version;
    known.columns = static_cast<std::int32_t>(summary.layout.size());
    known.has_params = !summary.params.empty();
    // The record's header and time, as the merge wrote them.
    char key[header_size + sizeof(std::uint32_t)];
    key[0] = static_cast<char>(sector_record);
    const auto size_field = static_cast<std::int16_t>(body);
    std::memcpy(key + 1, &size_field, sizeof size_field);
    std::memcpy(key + header_size, &summary.largest_time, sizeof summary.largest_time);
    // A record sector may be followed by closing text and parameter sectors.
    const auto walk_from = [&](std::uint64_t at) -> std::optional<SectorWalk> {
        SectorWalk walk = known;
        walk.end = at;
        if (!walk_sectors(file, end, walk) || walk.end != end || walk.newest.time != summary.largest_time)
            return std::nullopt;
        return walk;
    };
    const std::uint64_t last = end - header_size - body;
    // One read: the page that ends with the record holds it for the walk too.
    if (const char* at = file.at(last, static_cast<std::size_t>(end - last), FileWindow::Ahead::backward);
        at != nullptr && std::memcmp(at, key, sizeof key) == 0)
        return walk_from(last);
    const std::uint64_t reach = std::min<std::uint64_t>(last, 2 * (header_size + max_body_size));
    const char* found = file.at(last - reach, static_cast<std::size_t>(reach) + sizeof key, FileWindow::Ahead::backward);
    if (found == nullptr)
        return std::nullopt;
    const std::string tail(found, static_cast<std::size_t>(reach) + sizeof key); // the window moves below
    for (std::size_t back = 1; back <= reach; ++back) {
        const std::size_t offset = static_cast<std::size_t>(reach) - back;
        if (std::memcmp(tail.data() + offset, key, sizeof key) != 0)
            continue;
        if (std::optional<SectorWalk> walk = walk_from(last - back))
            return walk;
    }
    return std::nullopt;
}

} // namespace storage
