#pragma once
// Byte-planar lists: a signed 32-bit count n, then the least significant byte of every
// element in element order, then the next byte of every element, and so on. Separating the
// planes lets the package compressor find the runs in the high bytes.

#include "storage/Compressed_text.h"

#include <cstring>
#include <type_traits>
#include <vector>

namespace storage {

// Rebuilds n elements of T from their byte planes.
template <class T>
void join_planes(const unsigned char* planes, std::size_t n, T* out)
{
    static_assert(std::is_trivially_copyable_v<T>);
    constexpr std::size_t width = sizeof(T);
    for (std::size_t j = 0; j < n; ++j) {
        unsigned char bytes[width];
        for (std::size_t p = 0; p < width; ++p)
            bytes[p] = planes[p * n + j];
        std::memcpy(out + j, bytes, width);
    }
}

// A whole list of T (1, 2, 4 or 8 bytes: integers, or floats by their bit pattern).
template <class T>
std::vector<T> read_planar(lib::io::BinaryInputStream& in)
{
    const std::size_t n = checked_count(in, in.read_value<std::int32_t>(), sizeof(T));
    std::vector<unsigned char> planes(n * sizeof(T));
    if (!planes.empty())
        in.read(planes.data(), planes.size());
    std::vector<T> values(n);
    join_planes(planes.data(), n, values.data());
    return values;
}

} // namespace storage
