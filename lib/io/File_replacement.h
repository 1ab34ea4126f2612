#pragma once
// Rewriting a user's file so that a crash, a full disk or a write error never leaves it
// half-written: the new contents go to a hidden temporary file in the same folder, which
// replaces the old file by rename only once it is complete and on disk.
//
// Usage: construct with the target path, write the new contents to temporary_path() with
// any writer, close that writer, then commit(). Without commit() the temporary file is
// removed and the target stays as it was. Errors are lib::io::FileError.

#include "platform/File.h"

#include <boost/noncopyable.hpp>

#include <cstdint>
#include <string>
#include <string_view>

namespace lib::io {

// Whether a finished file must reach the disk before it takes the target's place. Files of
// the program's own scratch folder, deleted after each package, need not.
enum class Durability { synced, scratch };

class FileReplacement : private boost::noncopyable {
public:
    explicit FileReplacement(std::string target, Durability durability = Durability::synced);
    ~FileReplacement();

    const std::string& target_path() const { return target_; }
    const std::string& temporary_path() const { return temporary_; }
    // The temporary file, open for reading and writing since it was made; it holds the
    // record lock that tells a sweep of leftovers that its writer lives.
    int fd() const { return fd_.get(); }

    // Flushes the temporary file to disk, gives it the permissions of the file it replaces,
    // renames it over the target and flushes the folder. A failed flush or close throws and
    // leaves the target as it was.
    void commit();
    // For a caller that has flushed the temporary file itself (several files at once): gives
    // it the permissions and renames it, without flushing file or folder. With
    // replace_existing false it never replaces a target that is there: false then, and the
    // temporary file stays to be removed.
    bool commit_flushed(bool replace_existing);
    bool committed() const { return committed_; }

private:
    void take_permissions_of_target() const;

    std::string target_;
    std::string temporary_;
    platform::UniqueFd fd_;
    Durability durability_;
    bool committed_ = false;
};

// Whether a folder entry is the temporary file of a FileReplacement (".<name>.tmp-XXXXXX"),
// left behind when the process was killed before it could commit or remove it.
bool is_replacement_leftover(std::string_view name);
// Removes such leftovers from the folder, except one that a writer still holds locked (its
// record lock holds between machines that share the folder).
void remove_replacement_leftovers(const std::string& folder);

// The whole contents of a file, read under a shared lock (lib::io::OSFile's rules).
std::string read_whole_file(const std::string& path);
// Replaces the file's contents as one step.
void replace_file_contents(const std::string& path, std::string_view contents,
                           Durability durability = Durability::synced);

// Writes `contents` over the file where it lies (made when missing) and cuts it to their
// length: no temporary file, no rename, no flush. A reader may meet the file half written,
// and a crash may leave it so, so this is only for files whose reader checks them whole (a
// checksum) and takes a damaged one for none. It spares the flush that ext4 starts, and a
// run waits for, when a rename replaces a file whose new data is not yet on disk.
void overwrite_in_place(const std::string& path, std::string_view contents);
// Writes `contents` at `offset` of the file where it lies (made when missing), leaving the
// rest as it is; no flush. For records appended to a file whose reader checks each one.
void write_in_place_at(const std::string& path, std::uint64_t offset, std::string_view contents);

} // namespace lib::io
