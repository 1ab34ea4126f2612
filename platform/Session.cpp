#include "platform/Session.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int lock_attempts = 20;
constexpr std::chrono::milliseconds lock_pause{100};

bool is_folder(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A real folder (not a link) of this account that nobody else may write into.
bool is_private_folder(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid()
        && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool write_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string read_all(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

} // namespace

std::string runtime_folder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    // The XDG rules ignore a relative path.
    if (runtime != nullptr && *runtime == '/' && is_folder(runtime)) {
        std::string folder = runtime;
        if (folder.back() != '/')
            folder += '/';
        return folder;
    }
    const std::string folder = "/tmp/dravinex-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    if (is_private_folder(folder))
        return folder + '/';
    // Someone else made the name first: the guard and the socket must not live in a folder
    // another account controls, so they go to the home folder instead.
    const char* home = std::getenv("HOME");
    const std::string fallback = std::string(home != nullptr && *home == '/' ? home : "/tmp") + "/.dravinex-runtime";
    ::mkdir(fallback.c_str(), 0700);
    return fallback + '/';
}

InstanceGuard open_instance_guard(const std::string& folder, const std::string& name)
{
    InstanceGuard guard;
    const std::string path = folder + name;
    guard.handle.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!guard.handle.valid())
        return guard;
    if (::flock(guard.handle.get(), LOCK_EX | LOCK_NB) == 0) {
        // Later copies must still see a holder, and must not be kept from holding it too.
        ::flock(guard.handle.get(), LOCK_SH);
        return guard;
    }
    guard.exists = true;
    ::flock(guard.handle.get(), LOCK_SH);
    return guard;
}

bool append_line_locked(const std::string& path, const std::string& line, int& error)
{
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!fd.valid()) {
        error = errno;
        return false;
    }
    if (!lock_with_retries(fd.get(), LockKind::exclusive, lock_attempts, lock_pause)) {
        error = EWOULDBLOCK;
        return false;
    }
    if (!write_all(fd.get(), line + '\n')) {
        error = errno;
        return false;
    }
    return true;
}

std::vector<std::string> take_lines_locked(const std::string& path, bool& found)
{
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    found = fd.valid();
    if (!found)
        return {};
    if (!lock_with_retries(fd.get(), LockKind::exclusive, lock_attempts, lock_pause))
        return {};
    std::vector<std::string> lines = split_lines(read_all(fd.get()));
    // Emptied rather than deleted: a copy waiting for the lock would otherwise append to a
    // file that no longer has a name.
    const bool emptied = ::ftruncate(fd.get(), 0) == 0;
    static_cast<void>(emptied); // lines that stay are read again by the next hand-off
    return lines;
}

} // namespace platform
