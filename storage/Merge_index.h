#pragma once
// What a merge needs to know of a well's real-time file without reading it: its largest
// record time (and the newest record's depth, for the overview), the length of its whole sectors, its last parameter layout, its text values
// and remarks, and the variant its reader ends in.
//
// The index lives in the program's own folder, never in the store. An entry is trusted only
// while the well file's device, inode, size, modification and change times are those it
// was made for; otherwise the merge reads the file whole and makes the entry afresh, so that
// another machine's run, a copy of the store or a hand edit never leads a merge astray. A
// missing or damaged index file is an empty index. One run of a home uses it at a time.

#include "storage/Realtimedatareader.h"

#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace storage {

struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;
    std::int64_t changed_ns = 0;

    bool operator==(const FileStamp&) const = default;
};

// The stamp of an open file; nullopt when the system cannot tell.
std::optional<FileStamp> stamp_of(int fd);
std::optional<FileStamp> stamp_of(const std::string& path);

struct WellFileSummary {
    FileStamp stamp;
    std::uint64_t whole_length = 0;
    std::uint64_t end_check = 0; // end_check_of the file at whole_length
    std::uint32_t largest_time = 0;
    float newest_depth = NAN; // of the newest record as the reader's list ends (NewestRecord)
    std::int32_t version = 0;
    std::int32_t encoding = 0;
    std::vector<FileStorageParam> params;
    std::vector<std::int32_t> layout; // parameter index of each column of the last parameter sector
    std::vector<std::string> text_lines;
    std::vector<SimpleRemark> remarks;
};

// A checksum of the last bytes before `whole_length`, read from the open file; nullopt when
// they cannot be read. An entry whose end does not read back the same is not believed, so
// that no merge appends after an end the file does not have.
std::optional<std::uint64_t> end_check_of(int fd, std::uint64_t whole_length);
// The same of the bytes that end at `whole_length`: the last end_check_bytes of them, or all
// where the file is shorter.
inline constexpr std::size_t end_check_bytes = 64;
std::uint64_t end_check(std::string_view last_bytes, std::uint64_t whole_length);

// Whether the entry may stand for the open file `fd` whose stamp is `now`: the same stamp,
// and the end where the entry says it is.
bool entry_matches(const WellFileSummary& entry, int fd, const FileStamp& now);

class MergeIndex {
public:
    // The index file's name in the program's folder.
    static constexpr const char* file_name = "MergeIndex.bin";

    MergeIndex() = default;
    // Reads the index file; a missing or damaged one gives an empty index.
    explicit MergeIndex(std::string path);

    // The entry of a well file, whatever its stamp.
    const WellFileSummary* find(const std::string& well_file) const;
    void put(const std::string& well_file, WellFileSummary summary);
    // Forgets a well file's entry; the next merge into it reads the file whole.
    void erase(const std::string& well_file) { entries_.erase(well_file); }
    const std::map<std::string, WellFileSummary>& entries() const { return entries_; }

    // Writes the index file through a temporary file and a rename; nothing without a path.
    void save() const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::map<std::string, WellFileSummary> entries_;
};

} // namespace storage
