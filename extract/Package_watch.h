#pragma once
// Watch mode: packages are unpacked as they arrive under the input folder (subfolders too,
// including ones made later), with the same cache file and journal as a run over the
// whole folder.
//
// A package is taken only once it is complete: closed after writing or moved in (or found
// when the watch starts), and then unchanged in size and time for the settle time, since
// packages arrive by network copies that pause. A package that fails is reported and
// forgotten by the cache file, so a later run over the folder retries it; the watcher itself
// remembers it and tries it again only when it changes, never in a loop.
//
// PackageWatcher::run() blocks its thread until the stop request; a package being unpacked
// is finished first. The watcher owns the home's cache and temporary folder only while it
// unpacks a package, under the home's run lock: it loads the cache file before and saves
// it after each one, so that runs of `extract` in between are seen. While another run holds
// the lock, a settled package waits a settle time more, and the watch stays ready to stop.

#include "extract/Extract_job.h"
#include "extract/Package_kinds.h"
#include "platform/Folder_watch.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class ExtractOwner;
struct ExtractResult;

// What the watch says of its own course and its errors.
namespace watch_text {
inline constexpr const char* watching = "Наблюдение за папкой ";
inline constexpr const char* settle_time = " (время выдержки пакета ";
inline constexpr const char* seconds = " с)";
inline constexpr const char* missing = " не существует; ждём её появления";
inline constexpr const char* removed = " удалена или перемещена; ждём её возвращения";
inline constexpr const char* cannot_start = "Не удалось начать наблюдение: ";
inline constexpr const char* instance_limit = "достигнут системный предел экземпляров inotify (";
inline constexpr const char* failed = "Наблюдение прервано: ";
inline constexpr const char* cannot_watch = "Не удалось наблюдать за папкой ";
inline constexpr const char* watch_limit = ": достигнут системный предел наблюдений inotify (";
inline constexpr const char* raise_limit = "); увеличьте его через sysctl";
} // namespace watch_text

struct WatchSettings {
    std::string from_path;  // ends with '/'
    std::string to_path;    // ends with '/'
    ExtractHome home;       // the program's own files the runs use
    std::chrono::milliseconds settle{2000};
};

// What the watcher tells its user, besides what the runs tell their ExtractOwner.
class WatchReporter {
public:
    // The journal of one package's run, as the window's journal would hold it.
    virtual void journal(const std::vector<std::string>& lines) = 0;
    // The watch's own course: watching, the folder gone or back.
    virtual void notice(const std::string& text) = 0;
    // Something that could not be done; the watch goes on unless run() returns.
    virtual void error(const std::string& text) = 0;
    // The runs of the packages that settled together, after their journals: one desktop
    // notification may speak for them all.
    virtual void runs_done(const std::vector<ExtractResult>& /*results*/) {}

protected:
    ~WatchReporter() = default;
};

// Which packages are complete and have settled; no I/O of its own.
class SettleTracker {
public:
    using Clock = std::chrono::steady_clock;
    using StampOf = std::function<std::optional<platform::FileStamp>(const std::string&)>;

    explicit SettleTracker(std::chrono::milliseconds settle) : settle_(settle) {}

    // Being written: not taken before it is closed again.
    void written(const std::string& path);
    // Closed after writing, moved in or found: taken after the settle time unless it changes.
    // A package that failed with this very stamp is left alone.
    void completed(const std::string& path, platform::FileStamp stamp, Clock::time_point now);
    // Deleted or moved away; a failure remembered for it is forgotten too.
    void gone(const std::string& path);
    // Forgets what is waiting (the folder is gone), keeping the failures.
    void drop_waiting() { waiting_.clear(); }

    // The packages whose settle time is over and whose stamp is still the one recorded, in
    // name order; those that changed wait a settle time more, those gone are dropped.
    std::vector<std::string> take_due(Clock::time_point now, const StampOf& stamp_of);
    std::optional<Clock::time_point> next_deadline() const;

    void remember_failure(const std::string& path, platform::FileStamp stamp);
    bool waiting(const std::string& path) const { return waiting_.count(path) != 0; }

private:
    struct Waiting {
        bool complete = false;
        platform::FileStamp stamp;
        Clock::time_point deadline;
    };

    std::chrono::milliseconds settle_;
    std::map<std::string, Waiting> waiting_;
    std::map<std::string, platform::FileStamp> failed_;
};

class PackageWatcher {
public:
    PackageWatcher(WatchSettings settings, ExtractOwner& owner, WatchReporter& reporter);

    // Watches until `stop` is requested (returns 0) or the watch cannot go on: the system's
    // limit of watches or instances is reached (returns 1, after an error naming the limit).
    int run(platform::StopRequest& stop);

private:
    enum class Outcome { ok, fatal };

    Outcome start_watching();
    Outcome watch_tree(const std::string& folder, bool scan);
    Outcome handle(const platform::WatchEvent& event);
    Outcome handle_in_folder(const std::string& folder, const platform::WatchEvent& event);
    Outcome rescan();
    Outcome look_for_root();
    Outcome watch_root();
    void watch_nearest_ancestor();
    void lose_root();
    void forget_folders_under(const std::string& folder);
    void consider_found(const std::string& path);
    void unpack_due(platform::StopRequest& stop);
    // The run's result, or nothing when the package is gone or waits for another run.
    std::optional<ExtractResult> unpack(const std::string& path);
    void report(const std::string& path, const platform::FileStamp& stamp, const ExtractResult& result);
    Outcome watch_failed(const std::string& folder, int error);
    std::optional<std::chrono::milliseconds> next_timeout() const;

    WatchSettings settings_;
    ExtractOwner& owner_;
    WatchReporter& reporter_;
    platform::FolderWatch watch_;
    SettleTracker tracker_;
    std::string root_;                        // from_path without its '/'
    std::map<int, std::string> folders_;      // watch -> folder, ending with '/'
    int root_watch_ = -1;
    int arrival_watch_ = -1;                  // while the root is missing: its nearest ancestor
    std::string arrival_folder_;
    bool root_present_ = false;
    bool told_busy_ = false;                  // said once that another run holds the lock
    bool told_no_lock_ = false;               // said once that the lock file cannot be made
};
