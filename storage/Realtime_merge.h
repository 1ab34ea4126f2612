#pragma once
// Merging an arriving real-time file into the well's file of the same name.
//
// Only the arriving records at least two time units newer than the well's last one are
// taken, and only the remarks the well's file does not hold yet. The well's file keeps its
// variant and encoding. Appending writes just the new sectors at the end of the well's file;
// the file's locks are taken before its end is read and held until the new sectors are
// flushed: by merge_realtime itself, or by whoever holds the PendingAppend of
// append_realtime. Rewriting (what merges did before) writes the whole model through a
// temporary file and a rename. Either way, loading the result gives the same model.
//
// What a merge knows of the well's file comes from the merge index when the entry matches
// the file, from the entry and the bytes appended since when another home grew the file,
// and from a whole read otherwise.

#include "lib/io/Locked_file.h"
#include "storage/Merge_index.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace storage {

enum class MergeWrite { append, rewrite };

// One side of the merge could not be read; `path` names it.
class MergeLoadError : public std::runtime_error {
public:
    MergeLoadError(std::string path, const std::string& reason)
        : std::runtime_error(path + ": " + reason), path_(std::move(path))
    {
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// True when the well's file received anything. Errors of the two loads are MergeLoadError;
// those of the write are lib::io::FileError or FileStorageException. An append finds what it
// needs of the well's file in `index` while the entry matches the file, and updates it (the
// caller saves the index).
bool merge_realtime(const std::string& target, const std::string& source, MergeWrite how = MergeWrite::append,
                    MergeIndex* index = nullptr);

// An append whose flush is left to the caller, who flushes it with a package's other files
// (lib::io::FilePlacement::add_appended) before counting the merge done.
struct PendingAppend {
    std::unique_ptr<lib::io::LockedFile> file;   // held locked, tail written; null: nothing new
    std::optional<WellFileSummary> grown;        // the file's index entry once the tail is on disk
    std::optional<WellFileSummary> unchanged;    // the entry of a file that received nothing
};
// Appends the new records and remarks of `source` to the well's file without flushing it;
// reads what it needs of the well's file from `index` while the entry matches, and changes
// nothing in the index. Errors as merge_realtime.
PendingAppend append_realtime(const std::string& target, const std::string& source, const MergeIndex* index);

// Cuts off, under the file's locks, what follows the last sector read whole (a sector a
// killed append left cut). True when something was cut.
bool cut_realtime_tail(const std::string& path);

} // namespace storage
