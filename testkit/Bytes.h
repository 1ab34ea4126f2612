#pragma once
// Little-endian byte building for the station's file formats, and damage helpers for
// corruption tests (bump, set, cut or splice bytes of a valid file). Plain values, used by
// one thread. Misuse throws: an offset past the end is std::out_of_range, a text that the
// chosen encoding cannot carry is std::invalid_argument, a failed file write std::runtime_error.

#include "lib/Strworks.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testkit {

using Bytes = std::vector<std::uint8_t>;

class ByteWriter {
public:
    ByteWriter& put_u8(std::uint8_t value);
    ByteWriter& put_i16(std::int16_t value);
    ByteWriter& put_u32(std::uint32_t value);
    ByteWriter& put_i32(std::int32_t value);
    ByteWriter& put_f32(float value); // IEEE-754 single, bit pattern little-endian
    ByteWriter& put_bytes(std::span<const std::uint8_t> bytes);
    // The text in that encoding (lib::enc_866, enc_1251, enc_utf8) followed by one zero byte.
    ByteWriter& put_string(std::string_view text, lib::StrEncoding encoding);

    std::size_t size() const { return bytes_.size(); }
    const Bytes& bytes() const { return bytes_; }
    Bytes take() { return std::move(bytes_); }

private:
    void put_le(std::uint64_t value, int width);

    Bytes bytes_;
};

// Writes the bytes as the whole file, replacing any file of that name.
void write_file(const std::string& path, const Bytes& bytes);

// For memory streams and TempDir::write, which take chars.
std::string_view as_chars(const Bytes& bytes);
// "63 08 00 ...": byte tests compare these so that a mismatch shows where it is.
std::string hex_dump(const Bytes& bytes);

// The prefix followed by the number in decimal ("p12"): fixture names in loops. Built by
// appending, because GCC 12 at -O3 reports "p" + std::to_string(n) as an overlapping copy.
std::string numbered(std::string_view prefix, std::size_t number);

// Damage in the spirit of a log test: 0xFF wraps to 0x00.
void increment_byte(Bytes& bytes, std::size_t offset);
void set_byte(Bytes& bytes, std::size_t offset, std::uint8_t value);
// Drops the last n bytes.
void shrink(Bytes& bytes, std::size_t n);
// Splices `garbage` in before `offset`; offset == size appends.
void insert_garbage(Bytes& bytes, std::size_t offset, const Bytes& garbage);

} // namespace testkit
