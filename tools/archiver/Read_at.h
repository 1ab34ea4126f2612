#pragma once
// How the header readers get bytes of a package: up to `size` bytes from `offset`, fewer at
// the end of the file. Lets the readers be tested on bytes in memory.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace archiver {

using ReadAt = std::function<std::string(std::uint64_t offset, std::size_t size)>;

// The little-endian number of `size` bytes at `at`; the caller has checked that they are there.
inline std::uint64_t le_value(std::string_view bytes, std::size_t at, std::size_t size)
{
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

} // namespace archiver
