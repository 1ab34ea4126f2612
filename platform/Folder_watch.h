#pragma once
// Watching folders for arriving files (inotify), and a stop request that SIGINT, SIGTERM or
// another thread can raise, for a loop that must sleep until something happens.
//
// Nothing here throws: failures come back as errno values for the caller to word. Objects
// are used by one thread, except StopRequest::request(), which any thread may call.

#include "platform/File.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Ends a waiting loop. Owns an eventfd; with catch_signals() also a signalfd for SIGINT
// and SIGTERM.
class StopRequest {
public:
    StopRequest();

    // Blocks SIGINT and SIGTERM in this thread (and the threads and programs it starts later)
    // and turns them into this request, so that work in progress is never cut short by them.
    // Call it before any thread is started. False when the system refused.
    bool catch_signals();

    // Thread-safe.
    void request();
    // True once requested or signalled; does not block.
    bool requested();

    // The descriptors a wait watches.
    std::vector<int> descriptors() const;

private:
    UniqueFd event_;
    UniqueFd signals_;
    bool requested_ = false;
};

// What happened to a watched folder or to an entry in it. One event may carry several.
namespace watch_event {
inline constexpr std::uint32_t modified = 1u << 0;       // written to (still open)
inline constexpr std::uint32_t closed_written = 1u << 1; // closed after writing
inline constexpr std::uint32_t moved_in = 1u << 2;       // renamed into the folder
inline constexpr std::uint32_t created = 1u << 3;
inline constexpr std::uint32_t deleted = 1u << 4;
inline constexpr std::uint32_t moved_out = 1u << 5;
inline constexpr std::uint32_t folder_gone = 1u << 6;  // the watched folder itself was removed or moved
inline constexpr std::uint32_t watch_ended = 1u << 7;  // the watch is gone (after folder_gone or remove)
inline constexpr std::uint32_t overflow = 1u << 8;     // events were lost: look again
inline constexpr std::uint32_t is_folder = 1u << 9;    // the entry is a folder
} // namespace watch_event

struct WatchEvent {
    int watch = -1;      // as returned by FolderWatch::add; -1 for overflow
    std::uint32_t what = 0;
    std::string name;    // entry name inside the watched folder; empty for the folder itself
};

enum class WaitResult { events, timeout, stopped, failed };

class FolderWatch {
public:
    FolderWatch();

    // 0 when the watch could be set up, else errno (EMFILE: the limit of instances).
    int init_error() const { return init_error_; }

    // Watches one folder (not its subfolders) for files written, moved in or out, created or
    // deleted, and for the folder itself going away. Returns the watch, or -errno
    // (ENOSPC: the limit of watches). Adding a folder twice gives the same watch.
    int add(const std::string& folder);
    // Watches a folder only for entries created or moved in, and for its own end: for
    // waiting until a missing folder appears in it.
    int add_for_arrivals(const std::string& folder);
    void remove(int watch);

    // Sleeps until events arrive, `stop` is requested or `timeout` passes (none: no limit),
    // and appends the events read. After WaitResult::failed, wait_error() tells why.
    WaitResult wait(std::optional<std::chrono::milliseconds> timeout, StopRequest& stop, std::vector<WatchEvent>& events);
    int wait_error() const { return wait_error_; }

private:
    UniqueFd fd_;
    int init_error_ = 0;
    int wait_error_ = 0;
};

// The system's limits that a watch can run into, as "name = value" for messages.
std::string watch_limit_text();
std::string instance_limit_text();

// Size and last change of a regular file, to see whether it is still being written.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t changed_ns = 0;
    bool operator==(const FileStamp&) const = default;
};
// Empty when the path is not a regular file (links are followed).
std::optional<FileStamp> file_stamp(const std::string& path);

} // namespace platform
