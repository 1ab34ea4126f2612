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

// read_write_existing opens for reading and writing only a file that is there already.
enum class OpenAccess { read, write_keep, read_write_keep, read_write_existing };

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
// fdatasync, retried on EINTR. A failure is final: Linux reports a write-back error once,
// so a second call on the same file may succeed although the data never reached the disk.
bool sync_data(int fd);
// Makes a rename or creation in the folder durable: 0, or the errno value.
int sync_folder(const std::string& folder);
// Flushes several files as one step: the writing of all of them is started first, so that
// the waits overlap instead of adding up. Each is flushed once; the result holds each
// file's errno value, 0 where its flush succeeded.
std::vector<int> sync_data_each(const std::vector<int>& fds);
// What closing the file would say, while the descriptor stays open (and its locks held): a
// file server reports write errors at close. Closes a duplicate; 0 or the errno value.
int check_close(int fd);

// Positioned read and write of at most `count` bytes, retried on EINTR: the number of bytes
// done, or -1 with errno set. They leave the file position alone.
std::int64_t read_at(int fd, void* buffer, std::size_t count, std::uint64_t offset);
std::int64_t write_at(int fd, const void* buffer, std::size_t count, std::uint64_t offset);

// A POSIX record lock (open file description lock) for writing over the whole file, waited
// for as long as it takes. Unlike flock it holds between machines on NFS v4 and SMB. 0 when
// held, or when the file system offers no record locks (the caller goes on unguarded);
// otherwise the errno value.
int hold_record_lock(int fd);
// One attempt at a record lock without waiting (shared needs a file open for reading,
// exclusive one open for writing): 0 when held, EAGAIN when another open file holds a lock
// that conflicts, another errno value when the file system offers no record locks.
int try_record_lock(int fd, LockKind kind);

// What tells one version of a file from another: identity, size and the times of the last
// change of contents and of metadata.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;
    std::int64_t changed_ns = 0;
};
bool read_identity(int fd, FileIdentity& identity);
bool read_path_identity(const std::string& path, FileIdentity& identity);

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
// Gives `from` the name `to` only when nothing has that name: renameat2 without replacing,
// or where the file system does not offer it (NFS, SMB) a hard link, which fails the same
// way, and the removal of `from`. EEXIST when `to` exists, EXDEV across file systems.
int rename_no_replace(const std::string& from, const std::string& to);
// Changes the permission bits of an open file.
int set_permission_bits(int fd, unsigned mode);

// Creates a new file from `pattern`, whose last six characters are "XXXXXX" and are
// replaced by the chosen ones; opened for reading and writing, mode 0600.
struct UniqueFile {
    UniqueFd fd;
    std::string path;
    int error = 0; // errno when fd is invalid
};
UniqueFile create_unique_file(const std::string& pattern);

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

// The process's file creation mask, read once without changing it (nothing here changes it).
unsigned current_umask();

// The system's text for an errno value.
std::string error_text(int error);

} // namespace platform
