#include "platform/Fault_seam.h"

#include <atomic>
#include <mutex>

#include <climits>
#include <unistd.h>

namespace platform::fault {

namespace {

std::atomic<bool> armed{false};
std::mutex guard;
Plan plan;
std::uint64_t seen = 0;
bool reached = false;

bool in_scope(const std::string& path)
{
    if (plan.folders.empty())
        return true;
    for (const std::string& folder : plan.folders) {
        if (path.compare(0, folder.size(), folder) == 0)
            return true;
    }
    return false;
}

std::string path_of(int fd)
{
    char buffer[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t size = ::readlink(link.c_str(), buffer, sizeof buffer);
    return size > 0 ? std::string(buffer, static_cast<std::size_t>(size)) : std::string();
}

int count(Call call, const std::string& path)
{
    const std::lock_guard lock(guard);
    if ((plan.calls & call) == 0 || !in_scope(path))
        return 0;
    if (++seen != plan.nth)
        return 0;
    reached = true;
    return plan.error;
}

} // namespace

void arm(Plan new_plan)
{
    const std::lock_guard lock(guard);
    plan = std::move(new_plan);
    seen = 0;
    reached = false;
    armed.store(true, std::memory_order_release);
}

void disarm()
{
    const std::lock_guard lock(guard);
    armed.store(false, std::memory_order_release);
}

bool met()
{
    const std::lock_guard lock(guard);
    return reached;
}

std::uint64_t counted()
{
    const std::lock_guard lock(guard);
    return seen;
}

int injected(Call call, int fd)
{
    if (!armed.load(std::memory_order_acquire))
        return 0;
    return count(call, path_of(fd));
}

int injected(Call call, const std::string& path)
{
    if (!armed.load(std::memory_order_acquire))
        return 0;
    return count(call, path);
}

} // namespace platform::fault
