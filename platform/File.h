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

// The process's file creation mask, read without changing it.
unsigned current_umask();

// The system's text for an errno value.
std::string error_text(int error);

} // namespace platform
