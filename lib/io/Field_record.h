#pragma once
// The fields of the program's own small files (the merge index, the overview's notes): values
// in this machine's byte order and texts behind their length, one after another. These files
// never leave the machine's home, so no byte order is fixed. A reader that would pass the
// end throws DamagedFields; the callers treat the file as missing then.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace lib::io {

class FieldWriter {
public:
    template <class T>
    void put(T value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        out.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    void put(const std::string& text)
    {
        put(static_cast<std::uint32_t>(text.size()));
        out += text;
    }

    std::string out;
};

// FNV-1a of 64 bits over the bytes: a file of fields ends with the checksum of all before
// it, so that a flipped byte anywhere makes the file damaged, not a wrong value.
inline std::uint64_t field_checksum(std::string_view bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
    return hash;
}

struct DamagedFields : std::runtime_error {
    DamagedFields() : std::runtime_error("damaged fields") {}
};

class FieldReader {
public:
    explicit FieldReader(std::string_view bytes) : bytes_(bytes) {}

    template <class T>
    T get()
    {
        static_assert(std::is_trivially_copyable_v<T>);
        T value;
        std::memcpy(&value, take(sizeof value), sizeof value);
        return value;
    }
    std::string text()
    {
        const auto size = get<std::uint32_t>();
        return std::string(take(size), size);
    }
    // A count of items at least `item_size` bytes each, checked against what is left.
    std::size_t count(std::size_t item_size)
    {
        const auto n = get<std::uint32_t>();
        if (n > (bytes_.size() - at_) / item_size)
            throw DamagedFields();
        return n;
    }
    bool at_end() const { return at_ == bytes_.size(); }
    const char* take(std::size_t n)
    {
        if (n > bytes_.size() - at_)
            throw DamagedFields();
        const char* p = bytes_.data() + at_;
        at_ += n;
        return p;
    }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

} // namespace lib::io
