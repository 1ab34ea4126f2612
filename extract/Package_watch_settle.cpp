// The settle bookkeeping of watch mode.

#include "extract/Package_watch.h"

#include "catalogue/Filedata.h"
#include "lib/Sys_utils.h"

#include <algorithm>

void SettleTracker::written(const std::string& path)
{
    waiting_[path].complete = false;
}

void SettleTracker::completed(const std::string& path, platform::FileStamp stamp, Clock::time_point now)
{
    if (const auto failure = failed_.find(path); failure != failed_.end()) {
        if (failure->second == stamp) {
            waiting_.erase(path);
            return;
        }
        failed_.erase(failure);
    }
    Waiting& entry = waiting_[path];
    entry.complete = true;
    entry.stamp = stamp;
    entry.deadline = now + settle_;
}

void SettleTracker::gone(const std::string& path)
{
    waiting_.erase(path);
    failed_.erase(path);
}

std::vector<std::string> SettleTracker::take_due(Clock::time_point now, const StampOf& stamp_of)
{
    std::vector<std::string> due;
    for (auto entry = waiting_.begin(); entry != waiting_.end();) {
        Waiting& waiting = entry->second;
        if (!waiting.complete || waiting.deadline > now) {
            ++entry;
            continue;
        }
        const std::optional<platform::FileStamp> current = stamp_of(entry->first);
        if (!current) {
            entry = waiting_.erase(entry);
            continue;
        }
        if (*current != waiting.stamp) {
            // Changed without an event we saw as a write (a copy over the network, a
            // writer that keeps the file open elsewhere): give it a settle time more.
            waiting.stamp = *current;
            waiting.deadline = now + settle_;
            ++entry;
            continue;
        }
        due.push_back(entry->first);
        entry = waiting_.erase(entry);
    }
    // The order of a run over the folder: by file name, whatever the subfolder.
    std::stable_sort(due.begin(), due.end(),
                     [](const std::string& a, const std::string& b) { return Utf16Less{}(lib::name_of(a), lib::name_of(b)); });
    return due;
}

std::optional<SettleTracker::Clock::time_point> SettleTracker::next_deadline() const
{
    std::optional<Clock::time_point> next;
    for (const auto& [path, waiting] : waiting_) {
        if (waiting.complete && (!next || waiting.deadline < *next))
            next = waiting.deadline;
    }
    return next;
}

void SettleTracker::remember_failure(const std::string& path, platform::FileStamp stamp)
{
    failed_[path] = stamp;
}
