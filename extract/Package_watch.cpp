// Watch mode: inotify events turned into packages to unpack.

#include "extract/Package_watch.h"

#include "catalogue/Filedata.h"
#include "extract/Extract_job.h"
#include "extract/Extractthread.h"
#include "extract/Run_lock.h"
#include "lib/Fileworks.h"
#include "lib/Sys_utils.h"

#include <cerrno>
#include <optional>
#include <sstream>

namespace {

using platform::WatchEvent;
namespace event = platform::watch_event;

// While the input folder is missing, its nearest ancestor is watched for arrivals; this
// look now and then covers an ancestor that itself goes away meanwhile.
constexpr std::chrono::seconds missing_folder_recheck{10};

std::string settle_text(std::chrono::milliseconds settle)
{
    std::ostringstream text;
    text << static_cast<double>(settle.count()) / 1000.0;
    return text.str();
}

bool is_watched_folder_entry(const platform::DirEntry& entry)
{
    // As the folder search: no hidden folders, no links to folders.
    return (entry.attributes & platform::attr_directory) && !(entry.attributes & platform::attr_hidden)
           && !(entry.attributes & platform::attr_link);
}

} // namespace

PackageWatcher::PackageWatcher(WatchSettings settings, ExtractOwner& owner, WatchReporter& reporter)
    : settings_(std::move(settings)),
      owner_(owner),
      reporter_(reporter),
      tracker_(settings_.settle),
      root_(lib::without_slash(settings_.from_path))
{
}

int PackageWatcher::run(platform::StopRequest& stop)
{
    if (const int error = watch_.init_error()) {
        if (error == EMFILE)
            reporter_.error(std::string(watch_text::cannot_start) + watch_text::instance_limit
                            + platform::instance_limit_text() + ")");
        else
            reporter_.error(watch_text::cannot_start + platform::error_text(error));
        return 1;
    }
    if (start_watching() == Outcome::fatal)
        return 1;
    std::vector<WatchEvent> events;
    for (;;) {
        unpack_due(stop);
        events.clear();
        const platform::WaitResult result = watch_.wait(next_timeout(), stop, events);
        if (result == platform::WaitResult::stopped)
            return 0;
        if (result == platform::WaitResult::failed) {
            reporter_.error(watch_text::failed + platform::error_text(watch_.wait_error()));
            return 1;
        }
        for (const WatchEvent& happened : events) {
            if (handle(happened) == Outcome::fatal)
                return 1;
        }
        if (!root_present_ && look_for_root() == Outcome::fatal)
            return 1;
    }
}

std::optional<std::chrono::milliseconds> PackageWatcher::next_timeout() const
{
    std::optional<std::chrono::milliseconds> timeout;
    if (const auto deadline = tracker_.next_deadline()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - SettleTracker::Clock::now());
        timeout = std::max(left, std::chrono::milliseconds(0));
    }
    if (!root_present_) {
        const std::chrono::milliseconds recheck = missing_folder_recheck;
        timeout = timeout ? std::min(*timeout, recheck) : recheck;
    }
    return timeout;
}

PackageWatcher::Outcome PackageWatcher::start_watching()
{
    if (!lib::folder_exists(root_)) {
        reporter_.notice(extract_text::input_folder + root_ + watch_text::missing);
        return look_for_root();
    }
    return watch_root();
}

PackageWatcher::Outcome PackageWatcher::look_for_root()
{
    // The watch first, then the look: a folder made in between is seen by one or the other.
    watch_nearest_ancestor();
    if (!lib::folder_exists(root_))
        return Outcome::ok;
    if (arrival_watch_ >= 0)
        watch_.remove(arrival_watch_);
    arrival_watch_ = -1;
    arrival_folder_.clear();
    return watch_root();
}

PackageWatcher::Outcome PackageWatcher::watch_root()
{
    root_present_ = true;
    reporter_.notice(watch_text::watching + root_ + watch_text::settle_time + settle_text(settings_.settle)
                     + watch_text::seconds);
    return watch_tree(settings_.from_path, true);
}

void PackageWatcher::watch_nearest_ancestor()
{
    // Anything that arrives in the nearest folder that exists on the way to the input
    // folder may be the next step back; the look after each wake-up does the rest.
    std::string ancestor = root_;
    do {
        const auto slash = ancestor.rfind('/');
        ancestor = slash == std::string::npos || slash == 0 ? "/" : ancestor.substr(0, slash);
    } while (ancestor != "/" && !lib::folder_exists(ancestor));
    if (ancestor == arrival_folder_ && arrival_watch_ >= 0)
        return;
    if (arrival_watch_ >= 0)
        watch_.remove(arrival_watch_);
    const int watch = watch_.add_for_arrivals(ancestor);
    arrival_watch_ = watch >= 0 ? watch : -1;
    arrival_folder_ = watch >= 0 ? ancestor : std::string();
}

PackageWatcher::Outcome PackageWatcher::watch_tree(const std::string& folder, bool scan)
{
    const int watch = watch_.add(folder);
    if (watch < 0)
        return watch_failed(folder, -watch);
    folders_[watch] = folder;
    if (folder == settings_.from_path)
        root_watch_ = watch;
    // Listed after the watch is set, so that nothing arriving in between is missed; what
    // is found and also reported by an event is simply considered twice.
    for (const platform::DirEntry& entry : platform::list_directory(folder)) {
        if (is_watched_folder_entry(entry)) {
            if (watch_tree(folder + entry.name + "/", scan) == Outcome::fatal)
                return Outcome::fatal;
        }
        else if (scan && is_package_name(entry.name) && !(entry.attributes & platform::attr_directory))
            consider_found(folder + entry.name);
    }
    return Outcome::ok;
}

PackageWatcher::Outcome PackageWatcher::watch_failed(const std::string& folder, int error)
{
    if (error == ENOSPC) {
        reporter_.error(watch_text::cannot_watch + lib::without_slash(folder) + watch_text::watch_limit
                        + platform::watch_limit_text() + watch_text::raise_limit);
        return Outcome::fatal;
    }
    // A folder removed meanwhile or one we may not read: the rest is watched.
    if (error != ENOENT && error != ENOTDIR)
        reporter_.error(watch_text::cannot_watch + lib::without_slash(folder) + ": " + platform::error_text(error));
    return Outcome::ok;
}

void PackageWatcher::consider_found(const std::string& path)
{
    const std::optional<platform::FileStamp> stamp = platform::file_stamp(path);
    if (!stamp)
        return;
    tracker_.completed(path, *stamp, SettleTracker::Clock::now());
}

PackageWatcher::Outcome PackageWatcher::handle(const WatchEvent& happened)
{
    if (happened.what & event::overflow)
        return rescan();
    if (happened.watch == arrival_watch_ && arrival_watch_ >= 0) {
        if (happened.what & (event::folder_gone | event::watch_ended)) {
            arrival_watch_ = -1;
            arrival_folder_.clear();
        }
        return Outcome::ok;
    }
    const auto folder = folders_.find(happened.watch);
    if (folder == folders_.end())
        return Outcome::ok;
    if (happened.name.empty()) {
        if (happened.what & (event::folder_gone | event::watch_ended)) {
            if (happened.watch == root_watch_)
                lose_root();
            else
                forget_folders_under(folder->second);
        }
        return Outcome::ok;
    }
    return handle_in_folder(folder->second, happened);
}

PackageWatcher::Outcome PackageWatcher::handle_in_folder(const std::string& folder, const WatchEvent& happened)
{
    const std::string path = folder + happened.name;
    if (happened.what & event::is_folder) {
        if (happened.what & (event::deleted | event::moved_out))
            forget_folders_under(path + "/");
        if ((happened.what & (event::created | event::moved_in)) && happened.name.front() != '.')
            return watch_tree(path + "/", true);
        return Outcome::ok;
    }
    if (!is_package_name(happened.name))
        return Outcome::ok;
    if (happened.what & (event::deleted | event::moved_out))
        tracker_.gone(path);
    else if (happened.what & (event::closed_written | event::moved_in))
        consider_found(path);
    else if (happened.what & (event::created | event::modified))
        tracker_.written(path);
    return Outcome::ok;
}

PackageWatcher::Outcome PackageWatcher::rescan()
{
    // Events were lost: look at the whole tree again. Known packages of the same size are
    // left alone by the cache, so this costs a listing and no unpacking.
    if (!root_present_)
        return Outcome::ok;
    return watch_tree(settings_.from_path, true);
}

void PackageWatcher::forget_folders_under(const std::string& folder)
{
    for (auto entry = folders_.begin(); entry != folders_.end();) {
        if (entry->second.compare(0, folder.size(), folder) == 0) {
            watch_.remove(entry->first);
            entry = folders_.erase(entry);
        }
        else
            ++entry;
    }
}

void PackageWatcher::lose_root()
{
    reporter_.notice(extract_text::input_folder + root_ + watch_text::removed);
    for (const auto& [watch, folder] : folders_)
        watch_.remove(watch);
    folders_.clear();
    root_watch_ = -1;
    root_present_ = false;
    tracker_.drop_waiting();
}

void PackageWatcher::unpack_due(platform::StopRequest& stop)
{
    // Packages that come due while others are unpacked join the same batch: packages copied
    // in together are told of together. A round in which every package waited for another
    // run ends it, so that a busy lock is not asked again and again.
    std::vector<ExtractResult> results;
    for (bool ran = true; ran && !stop.requested();) {
        ran = false;
        for (const std::string& path : tracker_.take_due(SettleTracker::Clock::now(), platform::file_stamp)) {
            if (stop.requested())
                break;
            if (std::optional<ExtractResult> result = unpack(path)) {
                results.push_back(std::move(*result));
                ran = true;
            }
        }
    }
    if (!results.empty())
        reporter_.runs_done(results);
}

std::optional<ExtractResult> PackageWatcher::unpack(const std::string& path)
{
    const std::optional<platform::FileStamp> stamp = platform::file_stamp(path);
    if (!stamp)
        return std::nullopt;
    FilesDataStorage cache;
    ExtractJob job(settings_.home, cache, &owner_);
    ExtractRequest request;
    request.package = path;
    request.from_path = settings_.from_path;
    request.data_root = settings_.to_path;
    // Never waited for: a stop must not hang behind another program's long run.
    request.lock = LockWait::no_wait;
    ExtractResult result = job.run(request);
    report(path, *stamp, result);
    if (!result.ran())
        return std::nullopt;
    return result;
}

void PackageWatcher::report(const std::string& path, const platform::FileStamp& stamp, const ExtractResult& result)
{
    if (result.outcome == ExtractResult::Outcome::busy) {
        if (!told_busy_)
            reporter_.notice(run_lock_text::busy + settings_.home.run_lock);
        told_busy_ = true;
        tracker_.completed(path, stamp, SettleTracker::Clock::now());
        return;
    }
    told_busy_ = false;
    // A lock file that cannot be made is a fault of the home, not of the package: said once,
    // and the package is tried again at the next look, changed or not.
    if (result.outcome == ExtractResult::Outcome::no_lock) {
        if (!told_no_lock_) {
            for (const std::string& error : result.errors)
                reporter_.error(error);
        }
        told_no_lock_ = true;
        tracker_.completed(path, stamp, SettleTracker::Clock::now());
        return;
    }
    told_no_lock_ = false;
    for (const std::string& error : result.errors)
        reporter_.error(error);
    // Remembered here, so that the watch does not retry it until it changes; the job has
    // made the cache forget it, so that a later run over the folder retries it.
    if (!result.ran() || result.failed > 0)
        tracker_.remember_failure(path, stamp);
    // A package the cache already knew at this size is passed over without a word.
    if (result.ran() && result.skipped == result.found && result.failed == 0)
        return;
    // Last, so that whoever reads the journal finds the cache file already saved.
    if (result.ran())
        reporter_.journal(result.journal);
}
