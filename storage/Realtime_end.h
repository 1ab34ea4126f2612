#pragma once
// The newest record of a well's data file, read from as little of the file as can tell it:
// the last 145-byte record of a classic file; for a real-time file, the record that the
// merge index names near the end of the whole sectors, or a walk of the sectors from where
// an earlier walk stopped.
//
// Every answer is a record that FileStorage::load gives for the same bytes. Where a walk
// meets a sector the reader might read otherwise (an impossible header, a size its parser
// would not end at, a tail it would search for more sectors), it answers "cannot", and the
// caller loads the file whole. Reads go through a FileWindow: a file cut by another process
// while it is read makes reads come back short, never fault.

#include "storage/Merge_index.h"
#include "storage/Newest_record.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace storage {

// Reads at offsets through a buffer. A pointer it returns holds until the next call.
class FileWindow {
public:
    // `chunk`: how much a forward read takes ahead of the bytes asked.
    FileWindow(int fd, std::uint64_t size, std::size_t chunk = 64 * 1024) : fd_(fd), size_(size), chunk_(chunk) {}

    enum class Ahead { forward, backward };

    // The `n` bytes at `offset`, or nullptr when the file holds fewer. A forward read takes
    // a chunk from `offset` on; a backward one a page that ends with the bytes asked.
    const char* at(std::uint64_t offset, std::size_t n, Ahead ahead = Ahead::forward);

private:
    int fd_;
    std::uint64_t size_;
    std::size_t chunk_;
    std::uint64_t start_ = 0;
    std::string buffer_;
};

// The last record of a classic file with a time: records are appended in time order.
// nullopt when the file cannot be read; a NewestRecord of time 0 when it has no record.
std::optional<NewestRecord> classic_newest(FileWindow& file, std::uint64_t size);

// Where a walk of a real-time file stopped, and what the reader would know there.
struct SectorWalk {
    NewestRecord newest;
    std::uint64_t end = 0;   // the end of the whole sectors walked
    std::int32_t version = 0; // of the last format sector; 0 the old variant
    std::int32_t columns = 0; // of the last parameter sector
    bool has_params = false;  // some parameter sector named a column: old records count
};

// Walks the whole sectors from `walk.end` to `size`, taking each record. False where the
// reader might read the bytes otherwise; `walk` is then of no use.
bool walk_sectors(FileWindow& file, std::uint64_t size, SectorWalk& walk);

// The newest record of a real-time file the merge index knows (its entry matching the
// file's stamp): the record of the entry's largest time, looked for backward from the end of
// the whole sectors and walked from there to that end. nullopt where it is not found so.
std::optional<SectorWalk> indexed_newest(FileWindow& file, const WellFileSummary& summary);

} // namespace storage
