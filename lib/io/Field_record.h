#pragma once
// The fields of the program's own small files (the merge index, the overview's notes): numbers
// little-endian (a float or double by its bits) and texts behind their 32-bit length, one
// after another, so that a home copied to another machine reads the same. A reader that
// would pass the end throws DamagedFields; the callers treat the file as missing then.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace lib::io {

// A number's bits as the unsigned integer of its size: what goes into the file.
template <class T>
constexpr auto field_bits(T value)
{
    static_assert(std::is_arithmetic_v<T> && (sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8));
    if constexpr (sizeof(T) == 1)
        return std::bit_cast<std::uint8_t>(value);
    else if constexpr (sizeof(T) == 2)
        return std::bit_cast<std::uint16_t>(value);
    else if constexpr (sizeof(T) == 4)
        return std::bit_cast<std::uint32_t>(value);
    else
        return std::bit_cast<std::uint64_t>(value);
}

class FieldWriter {
public:
    template <class T>
    void put(T value)
    {
        auto bits = field_bits(value);
        for (std::size_t i = 0; i < sizeof bits; ++i) {
            out += static_cast<char>(bits & 0xffu);
            bits = static_cast<decltype(bits)>(bits >> 8);
        }
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
        using Bits = decltype(field_bits(T{}));
        const auto* bytes = reinterpret_cast<const unsigned char*>(take(sizeof(Bits)));
        Bits bits = 0;
        for (std::size_t i = sizeof bits; i-- > 0;)
            bits = static_cast<Bits>((bits << 8) | bytes[i]);
        return std::bit_cast<T>(bits);
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
    // How many bytes have been read.
    std::size_t offset() const { return at_; }
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
