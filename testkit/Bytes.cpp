#include "testkit/Bytes.h"

#include <bit>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace testkit {

namespace {

void check_offset(const Bytes& bytes, std::size_t offset, const char* what)
{
    if (offset >= bytes.size())
        throw std::out_of_range(std::string(what) + ": offset " + std::to_string(offset) + " past " +
                                std::to_string(bytes.size()) + " bytes");
}

} // namespace

void ByteWriter::put_le(std::uint64_t value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

ByteWriter& ByteWriter::put_u8(std::uint8_t value)
{
    bytes_.push_back(value);
    return *this;
}

ByteWriter& ByteWriter::put_i16(std::int16_t value)
{
    put_le(static_cast<std::uint16_t>(value), 2);
    return *this;
}

ByteWriter& ByteWriter::put_u32(std::uint32_t value)
{
    put_le(value, 4);
    return *this;
}

ByteWriter& ByteWriter::put_i32(std::int32_t value)
{
    put_le(static_cast<std::uint32_t>(value), 4);
    return *this;
}

ByteWriter& ByteWriter::put_f32(float value)
{
    put_le(std::bit_cast<std::uint32_t>(value), 4);
    return *this;
}

ByteWriter& ByteWriter::put_bytes(std::span<const std::uint8_t> bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

ByteWriter& ByteWriter::put_string(std::string_view text, lib::StrEncoding encoding)
{
    lib::StrEncConverter converter(encoding);
    // Without a converter the text would shrink to its zero byte: a fixture that silently
    // loses its strings is worse than one that refuses to be built.
    if (!text.empty() && converter.converter() == nullptr)
        throw std::invalid_argument("put_string: no converter for encoding " + std::to_string(encoding));
    lib::ByteBuffer encoded;
    converter.encode(text, encoded);
    bytes_.insert(bytes_.end(), encoded.begin(), encoded.end());
    return *this;
}

void write_file(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("write_file: cannot write " + path);
}

std::string_view as_chars(const Bytes& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string hex_dump(const Bytes& bytes)
{
    std::string text;
    text.reserve(bytes.size() * 3);
    char digits[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        if (i != 0) text += ' ';
        text += digits;
    }
    return text;
}

void increment_byte(Bytes& bytes, std::size_t offset)
{
    check_offset(bytes, offset, "increment_byte");
    ++bytes[offset];
}

void set_byte(Bytes& bytes, std::size_t offset, std::uint8_t value)
{
    check_offset(bytes, offset, "set_byte");
    bytes[offset] = value;
}

void shrink(Bytes& bytes, std::size_t n)
{
    if (n > bytes.size())
        throw std::out_of_range("shrink: " + std::to_string(n) + " of " + std::to_string(bytes.size()) + " bytes");
    bytes.resize(bytes.size() - n);
}

void insert_garbage(Bytes& bytes, std::size_t offset, const Bytes& garbage)
{
    if (offset > bytes.size())
        throw std::out_of_range("insert_garbage: offset " + std::to_string(offset) + " past " +
                                std::to_string(bytes.size()) + " bytes");
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(offset), garbage.begin(), garbage.end());
}

std::string numbered(std::string_view prefix, std::size_t number)
{
    std::string text(prefix);
    text += std::to_string(number);
    return text;
}

} // namespace testkit
