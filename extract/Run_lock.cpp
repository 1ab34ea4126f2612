#include "extract/Run_lock.h"

#include "lib/io/Binary_io.h"
#include "platform/File.h"

#include <cerrno>

RunLock::RunLock(const std::string& lock_path, bool wait, const std::function<void()>& on_wait)
{
    platform::OpenResult opened = platform::open_lock_file(lock_path);
    if (!opened.fd.valid())
        throw lib::io::FileError(lib::io::text::cannot_open, lock_path, opened.error);
    fd_ = std::move(opened.fd);
    if (platform::try_lock(fd_.get(), platform::LockKind::exclusive)) {
        held_ = true;
        return;
    }
    if (errno != EWOULDBLOCK)
        throw lib::io::FileError(lib::io::text::cannot_lock, lock_path, errno);
    if (!wait)
        return;
    if (on_wait)
        on_wait();
    if (!platform::lock_waiting(fd_.get(), platform::LockKind::exclusive))
        throw lib::io::FileError(lib::io::text::cannot_lock, lock_path, errno);
    held_ = true;
}
