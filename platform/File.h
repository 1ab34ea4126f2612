#pragma once
// Thin, RAII wrappers over POSIX file descriptors, whole-file locks and folder listings.
//
// Nothing here throws: calls report failure through their result and errno-style codes, so
// that the library above can attach its own message texts. Objects are not shared between
// threads.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Owns one file descriptor; closes it on destruction.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

enum class OpenAccess { read, write_keep, read_write_keep };

struct OpenResult {
    UniqueFd fd;
    int error = 0; // errno when fd is invalid
};

// Opens a regular file. write_keep and read_write_keep create a missing file but never
// truncate: callers truncate only after they hold their lock. Anything that is not a regular
// file (a folder, a pipe, a device) is refused with EISDIR or EINVAL, without blocking.
OpenResult open_regular_file(const std::string& path, OpenAccess access);

// True for the errors that mean the file or a folder of its path does not exist.
bool is_missing_file_error(int error);

enum class LockKind { shared, exclusive };

// One non-blocking attempt at a whole-file lock (flock); converts an existing lock.
bool try_lock(int fd, LockKind kind);
// `attempts` non-blocking attempts, `pause` apart.
bool lock_with_retries(int fd, LockKind kind, int attempts, std::chrono::milliseconds pause);
// Waits as long as it takes for the lock; false only on an error of the call itself.
bool lock_waiting(int fd, LockKind kind);
void unlock(int fd);

// Cuts or extends the file; false on failure.
bool resize_file(int fd, std::uint64_t size);
// The current size, or -1.
std::int64_t file_size(int fd);
// Asks the system to start writing the file's data to disk without waiting for it, so that
// a later sync_data finds most of it done.
void start_writeback(int fd);
// fdatasync, retried on EINTR.
bool sync_data(int fd);
// Makes a rename or creation in the folder durable.
void sync_folder(const std::string& folder);

// File times in the Windows convention the rest of the program keeps: 100-ns ticks since
// 1601-01-01 UTC. Creation is the birth time where the file system reports one, else the
// change time.
using FileTime = std::int64_t;
struct FileTimes {
    FileTime creation = 0;
    FileTime last_access = 0;
    FileTime last_write = 0;
};
bool read_file_times(int fd, FileTimes& times);
bool read_path_times(const std::string& path, FileTimes& times);

// Attribute bits as the Windows file search reports them, emulated from POSIX metadata.
inline constexpr unsigned attr_readonly = 0x01;
inline constexpr unsigned attr_hidden = 0x02;
inline constexpr unsigned attr_system = 0x04;
inline constexpr unsigned attr_directory = 0x10;
inline constexpr unsigned attr_archive = 0x20;
inline constexpr unsigned attr_link = 0x400; // reparse point: a symbolic link

struct DirEntry {
    std::string name;
    unsigned attributes = 0;
    std::uint64_t size = 0;
    FileTimes times;
};

// The entries of a folder except "." and "..", in no particular order; empty when the
// folder is missing or unreadable. Links report the attributes of their target plus
// attr_link; a dangling link shows as an ordinary file of size 0.
std::vector<DirEntry> list_directory(const std::string& folder);

// A folder entry's name and kind only, for listings that need nothing else.
struct NamedEntry {
    std::string name;
    bool folder = false; // a folder, or a link to one
    bool link = false;
};

// The names in a folder except "." and "..", in no particular order; empty when the folder
// is missing or unreadable. Reads the kinds from the listing itself where the file system
// reports them, so only links (and file systems without kinds) cost a stat: many times
// cheaper than list_directory on a large folder.
std::vector<NamedEntry> list_names(const std::string& folder);

// What a path names, links followed.
enum class PathKind { missing, regular, folder, other };
PathKind path_kind(const std::string& path);
// The permission bits of the file at the path, links followed; -1 when it cannot be read.
int permission_bits(const std::string& path);

// Each returns 0 or the errno value of the failure.
int remove_file(const std::string& path);   // unlink: never a folder, never a link's target
int remove_folder(const std::string& path); // rmdir: only an empty folder
int make_folder(const std::string& path);   // mkdir with mode 0777 less the umask
int rename_path(const std::string& from, const std::string& to);

// Opens (creating it when missing, 0666 less the umask) a file that is used only for its
// lock; never truncates it.
OpenResult open_lock_file(const std::string& path);
// Opens for reading only, without following a final link and without blocking on a pipe.
OpenResult open_read_no_follow(const std::string& path);

// One read or write of at most `count` bytes, retried on EINTR: the number of bytes done,
// or -1 with errno set.
std::int64_t read_some(int fd, void* buffer, std::size_t count);
std::int64_t write_some(int fd, const void* buffer, std::size_t count);
// Moves the file position; the new position, or -1.
enum class SeekFrom { begin, current, end };
std::int64_t seek(int fd, std::int64_t offset, SeekFrom from);

// The process's file creation mask, read without changing it.
unsigned current_umask();

// The system's text for an errno value.
std::string error_text(int error);

} // namespace platform
