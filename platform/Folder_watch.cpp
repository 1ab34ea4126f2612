#include "platform/Folder_watch.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

StopRequest::StopRequest() : event_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

bool StopRequest::catch_signals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0)
        return false;
    signals_.reset(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
    return signals_.valid();
}

void StopRequest::request()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(event_.get(), &one, sizeof one);
}

bool StopRequest::requested()
{
    if (requested_)
        return true;
    std::uint64_t count = 0;
    if (event_.valid() && ::read(event_.get(), &count, sizeof count) == static_cast<ssize_t>(sizeof count))
        requested_ = true;
    signalfd_siginfo info {};
    if (signals_.valid() && ::read(signals_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        requested_ = true;
    return requested_;
}

std::vector<int> StopRequest::descriptors() const
{
    std::vector<int> fds;
    if (event_.valid())
        fds.push_back(event_.get());
    if (signals_.valid())
        fds.push_back(signals_.get());
    return fds;
}

namespace {

constexpr std::uint32_t folder_events = IN_CLOSE_WRITE | IN_MODIFY | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE
                                        | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t arrival_events = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

std::uint32_t translate(std::uint32_t mask)
{
    std::uint32_t what = 0;
    const auto map = [&](std::uint32_t from, std::uint32_t to) {
        if (mask & from)
            what |= to;
    };
    map(IN_MODIFY, watch_event::modified);
    map(IN_CLOSE_WRITE, watch_event::closed_written);
    map(IN_MOVED_TO, watch_event::moved_in);
    map(IN_CREATE, watch_event::created);
    map(IN_DELETE, watch_event::deleted);
    map(IN_MOVED_FROM, watch_event::moved_out);
    map(IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT, watch_event::folder_gone);
    map(IN_IGNORED, watch_event::watch_ended);
    map(IN_Q_OVERFLOW, watch_event::overflow);
    map(IN_ISDIR, watch_event::is_folder);
    return what;
}

std::string first_line_of(const char* path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line.empty() ? "?" : line;
}

} // namespace

FolderWatch::FolderWatch() : fd_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK))
{
    if (!fd_.valid())
        init_error_ = errno;
}

int FolderWatch::add(const std::string& folder)
{
    const int watch = ::inotify_add_watch(fd_.get(), folder.c_str(), folder_events);
    return watch >= 0 ? watch : -errno;
}

int FolderWatch::add_for_arrivals(const std::string& folder)
{
    const int watch = ::inotify_add_watch(fd_.get(), folder.c_str(), arrival_events);
    return watch >= 0 ? watch : -errno;
}

void FolderWatch::remove(int watch)
{
    ::inotify_rm_watch(fd_.get(), watch);
}

WaitResult FolderWatch::wait(std::optional<std::chrono::milliseconds> timeout, StopRequest& stop,
                             std::vector<WatchEvent>& events)
{
    if (stop.requested())
        return WaitResult::stopped;
    std::vector<pollfd> fds{{fd_.get(), POLLIN, 0}};
    for (int fd : stop.descriptors())
        fds.push_back({fd, POLLIN, 0});
    const int milliseconds = timeout ? static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, timeout->count())) : -1;
    const int ready = ::poll(fds.data(), fds.size(), milliseconds);
    if (ready < 0) {
        wait_error_ = errno;
        return wait_error_ == EINTR ? WaitResult::timeout : WaitResult::failed;
    }
    if (stop.requested())
        return WaitResult::stopped;
    if (ready == 0 || !(fds[0].revents & POLLIN))
        return WaitResult::timeout;

    alignas(inotify_event) std::array<char, 64 * 1024> buffer;
    for (;;) {
        const ssize_t length = ::read(fd_.get(), buffer.data(), buffer.size());
        if (length <= 0)
            break;
        for (std::size_t at = 0; at + sizeof(inotify_event) <= static_cast<std::size_t>(length);) {
            inotify_event header;
            std::memcpy(&header, buffer.data() + at, sizeof header);
            const char* name = buffer.data() + at + sizeof header;
            WatchEvent event;
            event.watch = header.wd;
            event.what = translate(header.mask);
            if (header.len > 0)
                event.name.assign(name, ::strnlen(name, header.len));
            events.push_back(std::move(event));
            at += sizeof header + header.len;
        }
    }
    return WaitResult::events;
}

namespace {

// The limit as the user sets it (sysctl fs.inotify.*), and the one of this user namespace
// when that is lower, as in a container: the one that was actually reached.
std::string limit_text(const char* system_name, const char* system_file, const char* namespace_name,
                       const char* namespace_file)
{
    const std::string system_value = first_line_of(system_file);
    std::string text = std::string(system_name) + " = " + system_value;
    if (const std::string own = first_line_of(namespace_file); own != "?" && own != system_value)
        text = std::string(namespace_name) + " = " + own + " in this user namespace, " + text;
    return text;
}

} // namespace

std::string watch_limit_text()
{
    return limit_text("fs.inotify.max_user_watches", "/proc/sys/fs/inotify/max_user_watches",
                      "user.max_inotify_watches", "/proc/sys/user/max_inotify_watches");
}

std::string instance_limit_text()
{
    return limit_text("fs.inotify.max_user_instances", "/proc/sys/fs/inotify/max_user_instances",
                      "user.max_inotify_instances", "/proc/sys/user/max_inotify_instances");
}

std::optional<FileStamp> file_stamp(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.changed_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return stamp;
}

} // namespace platform
