#include "lib/io/Binary_io.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <thread>
#include <utility>

namespace lib::io {

namespace {

// Positions move by caller-supplied amounts; saturate instead of overflowing.
std::int64_t add_saturated(std::int64_t a, std::int64_t b)
{
    std::int64_t sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return sum;
}

platform::SeekFrom seek_from(SeekOrigin origin)
{
    switch (origin) {
    case SeekOrigin::from_begin:
        return platform::SeekFrom::begin;
    case SeekOrigin::from_end:
        return platform::SeekFrom::end;
    case SeekOrigin::from_current:
        return platform::SeekFrom::current;
    }
    return platform::SeekFrom::begin;
}

} // namespace

// --- FileError -------------------------------------------------------------------------

FileError::FileError(const char* text, std::string path, int error_code)
    : std::runtime_error(text), path_(std::move(path)), error_code_(error_code)
{
}

std::string FileError::reason() const
{
    std::string text = what();
    if (error_code_ != 0)
        text += ": " + platform::error_text(error_code_);
    return text;
}

std::string FileError::describe() const
{
    std::string description = what();
    if (!path_.empty())
        description += " (" + path_ + ")";
    if (error_code_ != 0)
        description += ": " + platform::error_text(error_code_);
    return description;
}

std::string describe_error(const std::exception& error)
{
    if (const auto* file_error = dynamic_cast<const FileError*>(&error))
        return file_error->describe();
    return error.what();
}

// --- OSFile ----------------------------------------------------------------------------

platform::LockKind OSFile::base_lock() const
{
    return mode_ == open_read ? platform::LockKind::shared : platform::LockKind::exclusive;
}

void OSFile::open(const std::string& path, OpenMode mode, bool lock)
{
    close();
    path_ = path;
    mode_ = mode;
    const auto access = mode == open_read ? platform::OpenAccess::read : platform::OpenAccess::write_keep;
    // A reader that asks for the lock goes straight for the exclusive lock, so that a
    // second such reader hears "cannot lock" rather than "cannot open".
    const bool lock_instead = lock && mode == open_read;

    for (int attempt = 1;; ++attempt) {
        platform::OpenResult opened = platform::open_regular_file(path, access);
        int error = opened.error;
        if (opened.fd.valid()) {
            if (lock_instead || platform::try_lock(opened.fd.get(), base_lock())) {
                fd_ = std::move(opened.fd);
                break;
            }
            error = EWOULDBLOCK;
        }
        else if (platform::is_missing_file_error(error)) {
            throw FileNotFoundError(text::file_not_found, path, error);
        }
        else if (error == EISDIR || error == EINVAL) {
            throw FileError(text::cannot_open, path, error); // not a regular file: waiting won't help
        }
        if (attempt == open_attempts)
            throw FileError(text::cannot_open, path, error);
        std::this_thread::sleep_for(retry_pause);
    }

    try {
        if (lock)
            this->lock();
        if (mode == open_write && !platform::resize_file(fd_.get(), 0))
            throw FileError(text::cannot_write, path, errno);
        if (mode == open_append)
            seek(0, SeekOrigin::from_end);
    }
    catch (...) {
        close();
        throw;
    }
}

void OSFile::lock()
{
    if (!platform::lock_with_retries(fd_.get(), platform::LockKind::exclusive, open_attempts, retry_pause))
        throw FileError(text::cannot_lock, path_, EWOULDBLOCK);
    locked_ = true;
}

void OSFile::unlock()
{
    if (fd_.valid())
        platform::try_lock(fd_.get(), base_lock());
    locked_ = false;
}

void OSFile::close() noexcept
{
    if (!fd_.valid())
        return;
    if (locked_)
        unlock();
    fd_.reset(); // closing the descriptor releases the remaining lock
}

std::size_t OSFile::read(void* buffer, std::size_t count)
{
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const std::int64_t got = platform::read_some(fd_.get(), out + done, count - done);
        if (got < 0)
            throw FileError(text::cannot_read, path_, errno);
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void OSFile::write(const void* buffer, std::size_t count)
{
    if (!fd_.valid())
        throw FileError(text::write_without_file, path_, EBADF);
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const std::int64_t put = platform::write_some(fd_.get(), in + done, count - done);
        if (put <= 0)
            throw FileError(text::cannot_write, path_, put < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(put);
    }
}

std::int64_t OSFile::seek(std::int64_t offset, SeekOrigin origin)
{
    return platform::seek(fd_.get(), offset, seek_from(origin));
}

std::int64_t OSFile::tell() const
{
    return platform::seek(fd_.get(), 0, platform::SeekFrom::current);
}

std::uint64_t OSFile::size() const
{
    const std::int64_t size = platform::file_size(fd_.get());
    return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

bool OSFile::file_times(FileTime* creation, FileTime* last_access, FileTime* last_write) const
{
    // fstat sees every write at once, so unlike some systems no flush is needed first.
    platform::FileTimes times;
    if (!fd_.valid() || !platform::read_file_times(fd_.get(), times))
        return false;
    if (creation)
        *creation = times.creation;
    if (last_access)
        *last_access = times.last_access;
    if (last_write)
        *last_write = times.last_write;
    return true;
}

// --- Input streams ---------------------------------------------------------------------

std::uint8_t BinaryInputStream::read_u8()
{
    std::uint8_t value;
    read(&value, 1);
    return value;
}

std::string BinaryInputStream::read_string()
{
    read_string_bytes(string_bytes_);
    return converter_.decode(string_bytes_.data(), string_bytes_.size());
}

void BinaryInputStream::read_string_bytes(ByteBuffer& bytes)
{
    bytes.clear();
    for (;;) {
        char c;
        read(&c, 1); // throws at the end of the input, so a missing zero byte ends here
        if (c == '\0')
            return;
        bytes.push_back(c);
    }
}

void BinaryInputFileStream::read(void* buffer, std::size_t count)
{
    if (file_.read(buffer, count) != count)
        throw std::runtime_error(text::file_stream_eof);
}

void BinaryInputFileStream::skip(std::int64_t count)
{
    // A skip beyond what the system can seek to still leaves the stream at its end.
    if (file_.seek(count, SeekOrigin::from_current) < 0 && count > 0)
        file_.seek(0, SeekOrigin::from_end);
}

bool BinaryInputFileStream::eof()
{
    return file_.eof();
}

std::uint64_t BinaryInputFileStream::remaining()
{
    const std::int64_t position = file_.tell();
    const std::uint64_t size = file_.size();
    return position < 0 || static_cast<std::uint64_t>(position) >= size ? 0 : size - static_cast<std::uint64_t>(position);
}

void BinaryInputFileStream::open(const std::string& path, bool lock)
{
    file_.open(path, open_read, lock);
}

void BinaryInputFileStream::close()
{
    file_.close();
}

std::int64_t BinaryInputFileStream::seek(std::int64_t offset, SeekOrigin origin)
{
    return file_.seek(offset, origin);
}

std::int64_t BinaryInputFileStream::tell()
{
    return file_.tell();
}

void InputMappedFile::open(const std::string& path, bool lock)
{
    close();
    file_.open(path, open_read, lock);
    const std::int64_t size = platform::file_size(file_.handle());
    if (size < 0)
        throw std::runtime_error(text::mapping_failed);
    if (size > 0) {
        const int error = mapping_.map(file_.handle(), static_cast<std::size_t>(size), platform::Mapping::Access::read_only);
        if (error == ENOMEM)
            throw MappedFileException();
        if (error != 0)
            throw std::runtime_error(text::view_failed + std::to_string(error));
    }
    size_ = static_cast<std::uint64_t>(size);
    position_ = 0;
}

void InputMappedFile::close()
{
    mapping_.reset();
    size_ = 0;
    position_ = 0;
    file_.close();
}

void InputMappedFile::read(void* buffer, std::size_t count)
{
    if (position_ < 0 || static_cast<std::uint64_t>(position_) > size_ || count > size_ - static_cast<std::uint64_t>(position_))
        throw std::runtime_error(text::mapped_eof);
    if (count > 0)
        std::memcpy(buffer, mapping_.data() + position_, count);
    position_ += static_cast<std::int64_t>(count);
}

void InputMappedFile::skip(std::int64_t count)
{
    position_ = add_saturated(position_, count);
}

std::int64_t InputMappedFile::seek(std::int64_t offset, SeekOrigin origin)
{
    switch (origin) {
    case SeekOrigin::from_begin:
        position_ = offset;
        break;
    case SeekOrigin::from_end:
        position_ = add_saturated(static_cast<std::int64_t>(size_), offset);
        break;
    case SeekOrigin::from_current:
        position_ = add_saturated(position_, offset);
        break;
    }
    return position_;
}

void InputMappedFile::read_string_bytes(ByteBuffer& bytes)
{
    if (eof())
        throw std::runtime_error(text::mapped_eof);
    const char* start = mapping_.data() + position_;
    const std::size_t left = size_ - static_cast<std::uint64_t>(position_);
    const auto* zero = static_cast<const char*>(std::memchr(start, 0, left));
    if (zero == nullptr)
        throw std::runtime_error(text::mapped_eof);
    bytes.assign(start, zero);
    position_ += (zero - start) + 1;
}

void BinaryMemoryInputStream::set_data(const void* data, std::size_t count)
{
    const auto* bytes = static_cast<const char*>(data);
    data_.assign(bytes, bytes + (bytes ? count : 0));
    position_ = 0;
}

void BinaryMemoryInputStream::read(void* buffer, std::size_t count)
{
    if (eof())
        throw std::runtime_error(text::memory_eof);
    if (count > data_.size() - position_)
        throw std::runtime_error(text::memory_out_of_range);
    if (count > 0)
        std::memcpy(buffer, data_.data() + position_, count);
    position_ += count;
}

void BinaryMemoryInputStream::read_string_bytes(ByteBuffer& bytes)
{
    if (eof())
        throw std::runtime_error(text::memory_eof);
    const char* start = data_.data() + position_;
    const auto* zero = static_cast<const char*>(std::memchr(start, 0, data_.size() - position_));
    if (zero == nullptr)
        throw std::runtime_error(text::memory_out_of_range);
    bytes.assign(start, zero);
    position_ += static_cast<std::size_t>(zero - start) + 1;
}

std::unique_ptr<BinaryInputFileStream> open_input_file(const std::string& path, bool lock, StrEncoding encoding)
{
    {
        auto mapped = std::make_unique<InputMappedFile>();
        mapped->set_encoding(encoding);
        try {
            mapped->open(path, lock);
            return mapped;
        }
        catch (const MappedFileException&) {
            mapped->close();
        }
    }
    auto plain = std::make_unique<BinaryInputFileStream>();
    plain->set_encoding(encoding);
    plain->open(path, lock);
    return plain;
}

// --- Output streams --------------------------------------------------------------------

void BinaryOutputStream::write_string(std::string_view text)
{
    converter_.encode(text, encoded_);
    write(encoded_.data(), encoded_.size());
}

BinaryOutputFileStream::~BinaryOutputFileStream()
{
    try {
        close();
    }
    catch (...) {
        // A destructor cannot report; callers that care call close() themselves.
    }
}

void BinaryOutputFileStream::open(const std::string& path, bool append, bool lock)
{
    used_ = 0;
    not_written_back_ = 0;
    file_.open(path, append ? open_append : open_write, lock);
}

// A piece larger than the buffer's room goes to the file together with what the buffer
// holds, in one write, as if the buffer had taken it.
void BinaryOutputFileStream::write_joined(const void* buffer, std::size_t count)
{
    std::vector<char> joined(used_ + count);
    std::memcpy(joined.data(), buffer_.get(), used_);
    std::memcpy(joined.data() + used_, buffer, count);
    used_ = 0;
    pass_to_file(joined.data(), joined.size());
}

void BinaryOutputFileStream::flush()
{
    if (used_ == 0)
        return;
    const std::size_t count = used_;
    used_ = 0; // a failed write drops the buffer: the caller learns of it and gives up
    pass_to_file(buffer_.get(), count);
}

void BinaryOutputFileStream::pass_to_file(const void* buffer, std::size_t count)
{
    // Bytes written to a stream without a file would vanish unnoticed: say so instead.
    if (!file_.is_open())
        throw FileError(text::write_without_file, file_.path(), EBADF);
    file_.write(buffer, count);
    if (!write_back_early_)
        return;
    not_written_back_ += count;
    if (not_written_back_ >= writeback_step) {
        platform::start_writeback(file_.handle());
        not_written_back_ = 0;
    }
}

void BinaryOutputFileStream::close()
{
    try {
        flush();
    }
    catch (...) {
        file_.close();
        throw;
    }
    file_.close();
}

bool BinaryOutputFileStream::file_times(FileTime* creation, FileTime* last_access, FileTime* last_write)
{
    flush();
    return file_.file_times(creation, last_access, last_write);
}

std::vector<char> BinaryMemoryOutputStream::take_bytes()
{
    data_.resize(size_);
    size_ = 0;
    return std::exchange(data_, {});
}

} // namespace lib::io
