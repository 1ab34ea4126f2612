#include "lib/io/Locked_file.h"

#include "lib/io/Binary_io.h"

#include <algorithm>
#include <cerrno>

namespace lib::io {

LockedFile::LockedFile(std::string path, bool local_lock) : path_(std::move(path))
{
    platform::OpenResult opened = platform::open_regular_file(path_, platform::OpenAccess::read_write_existing);
    if (!opened.fd.valid())
        throw FileError(text::cannot_open, path_, opened.error);
    fd_ = std::move(opened.fd);
    // A file system without record locks is used unguarded (hold_record_lock says 0).
    if (const int error = platform::hold_record_lock(fd_.get()); error != 0)
        throw FileError(text::cannot_lock, path_, error);
    if (local_lock
        && !platform::lock_with_retries(fd_.get(), platform::LockKind::exclusive, OSFile::open_attempts,
                                        OSFile::retry_pause))
        throw FileError(text::cannot_lock, path_, EWOULDBLOCK);
}

LockedFile::~LockedFile()
{
    cut_back();
}

LockedFile::Bytes LockedFile::read_from(std::uint64_t offset) const
{
    const std::int64_t size = platform::file_size(fd_.get());
    if (size < 0)
        throw FileError(text::cannot_read, path_, errno);
    const auto capacity = static_cast<std::size_t>(std::max<std::int64_t>(0, size - static_cast<std::int64_t>(offset)));
    Bytes bytes{std::make_unique_for_overwrite<char[]>(capacity), 0};
    while (bytes.size < capacity) {
        const std::int64_t got = platform::read_at(fd_.get(), bytes.data.get() + bytes.size, capacity - bytes.size,
                                                   offset + bytes.size);
        if (got < 0)
            throw FileError(text::cannot_read, path_, errno);
        if (got == 0)
            break; // shorter than it said: what is there is the file
        bytes.size += static_cast<std::size_t>(got);
    }
    return bytes;
}

void LockedFile::append_at(std::uint64_t at, const char* data, std::size_t size)
{
    if (!kept_length_) {
        const std::int64_t length = platform::file_size(fd_.get());
        if (length < 0)
            throw FileError(text::cannot_read, path_, errno);
        // What lay beyond `at` was a torn end that is cut anyway: not worth restoring.
        kept_length_ = std::min(static_cast<std::uint64_t>(length), at);
    }
    if (!platform::resize_file(fd_.get(), at))
        fail_and_cut(errno);
    for (std::size_t done = 0; done < size;) {
        const std::int64_t put = platform::write_at(fd_.get(), data + done, size - done, at + done);
        if (put <= 0)
            fail_and_cut(put < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(put);
    }
}

int LockedFile::flush_or_cut_back() noexcept
{
    if (!kept_length_)
        return 0;
    int error = platform::sync_data(fd_.get()) ? 0 : errno;
    if (error == 0)
        error = platform::check_close(fd_.get());
    if (error != 0) {
        cut_back();
        return error;
    }
    kept_length_.reset();
    return 0;
}

void LockedFile::flush()
{
    if (const int error = flush_or_cut_back(); error != 0)
        throw FileError(text::cannot_write, path_, error);
}

void LockedFile::fail_and_cut(int error)
{
    cut_back();
    throw FileError(text::cannot_write, path_, error);
}

// Cutting back is the file's old state again, so it is flushed too; if even that fails,
// the next merge finds the file's end by reading it and cuts a torn sector itself.
void LockedFile::cut_back() noexcept
{
    if (!kept_length_ || !fd_.valid())
        return;
    if (platform::resize_file(fd_.get(), *kept_length_))
        platform::sync_data(fd_.get());
    kept_length_.reset();
}

} // namespace lib::io
