#pragma once
// A bounded, forward-moving reader over bytes in memory (a mapped file, usually).
//
// Every read checks the bytes left first and throws TruncatedInput instead of reading past
// the end; values are assembled with memcpy, never by casting the buffer. Positions may be
// moved past the end, after which every read throws.

#include "lib/io/Binary_io.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace storage {

// A read past the end of the input; carries the mapped input's own end-of-file text.
class TruncatedInput : public std::runtime_error {
public:
    TruncatedInput() : std::runtime_error(lib::io::text::mapped_eof) {}
};

// A value of type T at `offset` of a block the caller has bounds-checked.
template <class T>
T field(const char* bytes, std::size_t offset)
{
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

class ByteCursor {
public:
    ByteCursor(const char* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t position() const { return position_; }
    std::size_t size() const { return size_; }
    bool at_end() const { return position_ >= size_; }
    std::size_t remaining() const { return at_end() ? 0 : size_ - position_; }
    const char* data() const { return data_; }

    void seek(std::size_t position) { position_ = position; }

    template <class T>
    T read()
    {
        static_assert(std::is_trivially_copyable_v<T>);
        T value;
        std::memcpy(&value, take(sizeof value), sizeof value);
        return value;
    }

    // The next `count` bytes, consumed.
    const char* take(std::size_t count)
    {
        if (count > remaining())
            throw TruncatedInput();
        const char* start = data_ + position_;
        position_ += count;
        return start;
    }

    void skip(std::size_t count) { take(count); }

    // The bytes before the next zero byte; the zero byte is consumed.
    std::string_view read_cstring()
    {
        const std::size_t left = remaining();
        const char* start = data_ + position_;
        const auto* zero = left == 0 ? nullptr : static_cast<const char*>(std::memchr(start, 0, left));
        if (zero == nullptr)
            throw TruncatedInput();
        position_ += static_cast<std::size_t>(zero - start) + 1;
        return std::string_view(start, static_cast<std::size_t>(zero - start));
    }

private:
    const char* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A data file opened for reading, as one block of bytes: the mapping when the file could
// be mapped, else a copy read through the plain file stream. Holds the file (and its lock)
// open for its lifetime.
class InputBytes {
public:
    InputBytes(const std::string& path, bool lock);

    ByteCursor cursor() const { return ByteCursor(data_, size_); }

private:
    std::unique_ptr<lib::io::BinaryInputFileStream> stream_;
    std::vector<char> copy_;
    const char* data_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace storage
