#include "extract/Run_lock.h"

#include "lib/io/Binary_io.h"

#include <cerrno>

#include <fcntl.h>

RunLock::RunLock(const std::string& lock_path, bool wait, const std::function<void()>& on_wait)
{
    fd_.reset(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!fd_.valid())
        throw lib::io::FileError(lib::io::text::cannot_open, lock_path, errno);
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
