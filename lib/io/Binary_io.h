#pragma once
// Typed binary streams over files, memory and read-only mappings, and the file wrapper
// under them.
//
// Values pass through as the raw bytes of the native little-endian types; strings as the
// bytes of the stream's encoding followed by one zero byte. Failures are exceptions derived
// from std::runtime_error whose what() is one of the fixed texts below; file errors are
// lib::io::FileError and also carry the path and the system's error code. Every read
// that would pass the end of its input throws; none returns short or stale data.
// Objects are owned by one thread at a time.

#include "lib/Strworks.h"
#include "platform/File.h"
#include "platform/Mapping.h"

#include <boost/noncopyable.hpp>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace lib::io {

static_assert(std::endian::native == std::endian::little, "the stored formats are little-endian");

namespace text {
inline constexpr const char* file_not_found = "Файл не найден!";
inline constexpr const char* cannot_open = "Невозможно открыть файл!";
inline constexpr const char* cannot_lock = "Невозможно заблокировать файл!";
inline constexpr const char* cannot_read = "Невозможно прочитать из файла!";
inline constexpr const char* cannot_write = "Невозможно записать в файл!";
inline constexpr const char* write_without_file = "Попытка записи в файл с дескриптором 0xFFFFFFFF!";
inline constexpr const char* file_stream_eof = "BinaryInputFileStream::read: eof";
inline constexpr const char* memory_eof = "BinaryMemoryInputStream::read: eof() == true";
inline constexpr const char* memory_out_of_range = "BinaryMemoryInputStream::read: out of range";
inline constexpr const char* mapped_eof = "InputMappedFile::read: eof";
inline constexpr const char* mapping_failed = "InputMappedFile::open: (h_file_mapping == NULL)";
inline constexpr const char* view_failed = "InputMappedFile::open: (pointer == NULL) Error ";
inline constexpr const char* out_of_memory = "error";
} // namespace text

// A file operation that failed: what() is the fixed text, path() and error_code() say
// which file and why.
class FileError : public std::runtime_error {
public:
    FileError(const char* text, std::string path, int error_code);
    const std::string& path() const { return path_; }
    int error_code() const { return error_code_; }
    // The text, the file and the system's reason, for a person to read.
    std::string describe() const;
    // The text and the system's reason, for messages that name the file already.
    std::string reason() const;

private:
    std::string path_;
    int error_code_;
};

// The text of any error for a person to read: file errors with their file and the system's
// reason, every other error with its own text. The one way the program turns an exception
// into a message.
std::string describe_error(const std::exception& error);

// "Файл не найден!": the file or a folder of its path does not exist.
class FileNotFoundError : public FileError {
public:
    using FileError::FileError;
};

// A view that could not be mapped for lack of address space.
class MappedFileException : public std::runtime_error {
public:
    MappedFileException() : std::runtime_error(text::out_of_memory) {}
};

enum class SeekOrigin { from_begin = 0, from_end = 1, from_current = 2 };
enum OpenMode { open_read = 1, open_write = 2, open_append = 3 };

using platform::FileTime;

// The system file behind every file stream. Opening for reading takes a shared lock and
// opening for writing an exclusive one, so that between our processes others may read a
// file being read, but nobody writes a file that someone reads or writes; each is tried
// 20 times, 100 ms apart. The lock flag asks for the exclusive lock.
class OSFile : private boost::noncopyable {
public:
    static constexpr int open_attempts = 20;
    static constexpr std::chrono::milliseconds retry_pause{100};

    OSFile() = default;
    ~OSFile() { close(); }

    void open(const std::string& path, OpenMode mode, bool lock);
    void lock();
    void unlock();
    void close() noexcept;

    // Reads up to `count` bytes; fewer only at the end of the file.
    std::size_t read(void* buffer, std::size_t count);
    void write(const void* buffer, std::size_t count);
    // The new position, or -1 when it would lie before the start (the position stays).
    std::int64_t seek(std::int64_t offset, SeekOrigin origin);
    std::int64_t tell() const;
    std::uint64_t size() const;
    bool eof() const { return static_cast<std::uint64_t>(tell()) >= size(); }
    bool file_times(FileTime* creation, FileTime* last_access, FileTime* last_write) const;

    int handle() const { return fd_.get(); }
    bool is_open() const { return fd_.valid(); }
    bool locked() const { return locked_; }
    const std::string& path() const { return path_; }

private:
    platform::LockKind base_lock() const;

    platform::UniqueFd fd_;
    std::string path_;
    OpenMode mode_ = open_read;
    bool locked_ = false;
};

class BinaryInputStream {
public:
    BinaryInputStream() : converter_(enc_1251) {}
    virtual ~BinaryInputStream() = default;
    BinaryInputStream(const BinaryInputStream&) = delete;
    BinaryInputStream& operator=(const BinaryInputStream&) = delete;

    virtual void read(void* buffer, std::size_t count) = 0;
    virtual void skip(std::int64_t count) = 0;
    virtual bool eof() = 0;
    // Bytes left before the end: decoders check counts against it before allocating.
    virtual std::uint64_t remaining() = 0;

    std::uint8_t read_u8();
    template <class T>
    T read_value()
    {
        static_assert(std::is_trivially_copyable_v<T>);
        T value;
        read(&value, sizeof value);
        return value;
    }
    // The bytes up to the next zero byte, decoded; the zero byte is consumed.
    std::string read_string();

    void set_encoding(StrEncoding id) { converter_.set_encoding(id); }
    StrEncConverter& converter() { return converter_; }

protected:
    // Fills `bytes` with the string's bytes without the zero byte, consuming the zero byte.
    // The default asks read() for one byte at a time.
    virtual void read_string_bytes(ByteBuffer& bytes);

private:
    StrEncConverter converter_;
    ByteBuffer string_bytes_;
};

class BinaryInputFileStream : public BinaryInputStream {
public:
    void read(void* buffer, std::size_t count) override;
    void skip(std::int64_t count) override;
    bool eof() override;
    std::uint64_t remaining() override;

    virtual void open(const std::string& path, bool lock);
    virtual void close();
    virtual std::int64_t seek(std::int64_t offset, SeekOrigin origin);
    virtual std::int64_t tell();

    OSFile& file() { return file_; }

protected:
    OSFile file_;
};

// A whole file mapped read-only; reads copy from the view. An empty file has an empty view.
class InputMappedFile : public BinaryInputFileStream {
public:
    ~InputMappedFile() override { close(); }

    void read(void* buffer, std::size_t count) override;
    void skip(std::int64_t count) override;
    bool eof() override { return position_ < 0 || static_cast<std::uint64_t>(position_) >= size_; }
    std::uint64_t remaining() override { return eof() ? 0 : size_ - static_cast<std::uint64_t>(position_); }

    void open(const std::string& path, bool lock) override;
    void close() override;
    std::int64_t seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t tell() override { return position_; }

    // Direct access for readers that parse the view in place.
    const char* view() const { return mapping_.data(); }
    std::uint64_t size() const { return size_; }

protected:
    void read_string_bytes(ByteBuffer& bytes) override;

private:
    platform::Mapping mapping_;
    std::int64_t position_ = 0;
    std::uint64_t size_ = 0;
};

class BinaryMemoryInputStream : public BinaryInputStream {
public:
    void set_data(const void* data, std::size_t count);

    void read(void* buffer, std::size_t count) override;
    void skip(std::int64_t count) override { position_ += static_cast<std::size_t>(count); }
    bool eof() override { return data_.empty() || position_ >= data_.size(); }
    std::uint64_t remaining() override { return eof() ? 0 : data_.size() - position_; }

    std::size_t position() const { return position_; }

protected:
    void read_string_bytes(ByteBuffer& bytes) override;

private:
    std::vector<char> data_;
    std::size_t position_ = 0;
};

// Opens a file for reading through a mapping, or through the plain file stream when the
// file is too large to map.
std::unique_ptr<BinaryInputFileStream> open_input_file(const std::string& path, bool lock, StrEncoding encoding);

class BinaryOutputStream {
public:
    BinaryOutputStream() : converter_(enc_utf8) {}
    virtual ~BinaryOutputStream() = default;
    BinaryOutputStream(const BinaryOutputStream&) = delete;
    BinaryOutputStream& operator=(const BinaryOutputStream&) = delete;

    virtual void write(const void* buffer, std::size_t count) = 0;

    template <class T>
    void write_value(const T& value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        write(&value, sizeof value);
    }
    // The encoded text and one zero byte, in one write.
    void write_string(std::string_view text);

    void set_encoding(StrEncoding id) { converter_.set_encoding(id); }
    StrEncConverter& converter() { return converter_; }

private:
    StrEncConverter converter_;
    ByteBuffer encoded_;
};

// Buffered file output: the buffer goes to the file whenever it holds more than
// flush_threshold bytes, and at flush or close. Call close() to see write errors; the
// destructor closes too but cannot report them.
class BinaryOutputFileStream final : public BinaryOutputStream {
public:
    static constexpr std::size_t flush_threshold = 0x20000;
    // How much is written between two requests to start writing back to disk.
    static constexpr std::uint64_t writeback_step = 8u << 20;

    BinaryOutputFileStream() : buffer_(std::make_unique<char[]>(buffer_room)) {}
    ~BinaryOutputFileStream() override;

    void open(const std::string& path, bool append, bool lock);
    void write(const void* buffer, std::size_t count) override
    {
        if (count > buffer_room - used_) {
            write_joined(buffer, count);
            return;
        }
        std::memcpy(buffer_.get() + used_, buffer, count);
        used_ += count;
        if (used_ > flush_threshold)
            flush();
    }
    void flush();
    void close();
    bool file_times(FileTime* creation, FileTime* last_access, FileTime* last_write);

    // For a file that is flushed to disk when complete: the system starts writing it back
    // while the rest is still being made, so that the final flush waits for little.
    void write_back_early() { write_back_early_ = true; }

    OSFile& file() { return file_; }

private:
    // Room past the threshold, so that values written a few bytes at a time are copied
    // without a check beyond this one.
    static constexpr std::size_t buffer_room = flush_threshold + 0x10000;

    void write_joined(const void* buffer, std::size_t count);
    void pass_to_file(const void* buffer, std::size_t count);

    OSFile file_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    bool write_back_early_ = false;
    std::uint64_t not_written_back_ = 0;
};

class BinaryMemoryOutputStream final : public BinaryOutputStream {
public:
    explicit BinaryMemoryOutputStream(std::size_t capacity = 0) : data_(capacity) {}

    // Values come a few bytes at a time: a copy into room already there, nothing more.
    void write(const void* buffer, std::size_t count) override
    {
        if (count > data_.size() - size_)
            make_room(count);
        if (count != 0)
            std::memcpy(data_.data() + size_, buffer, count);
        size_ += count;
    }
    const char* data() const { return size_ == 0 ? nullptr : data_.data(); }
    std::size_t size() const { return size_; }
    void clear() { size_ = 0; }
    // The bytes written, handed over; the stream is empty afterwards.
    std::vector<char> take_bytes();

private:
    void make_room(std::size_t count) { data_.resize(std::max(data_.size() * 2, size_ + count)); }

    std::vector<char> data_; // its size is the room; size_ bytes of it are written
    std::size_t size_ = 0;
};

} // namespace lib::io
