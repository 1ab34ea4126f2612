#pragma once
// Writers of ".zreg" packages, of the compact quantised classic file that kind-1 members
// carry, and of the station identity file "inpgti.ini". An encoder of its own, written from
// the layout and compressing with the zlib the test kit links, so that it meets the
// program's reader (which loads zlib at run time) in tests. Pure functions returning bytes;
// plain values, one thread.
//
// A member's length fields and name bytes can be overridden to build damaged packages.
// What the kit cannot write faithfully throws: a name that code page 1251 cannot carry or
// longer than 255 bytes, an encoding other than 1251 or UTF-8, is std::invalid_argument;
// a zlib failure std::runtime_error.

#include "testkit/Bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testkit {

namespace zreg {
inline constexpr std::size_t parameter_count = 32;
inline constexpr std::size_t compact_head_size = 8 * parameter_count; // offsets, then scales
inline constexpr std::size_t compact_record_size = 81;
} // namespace zreg

struct ZregMember {
    std::uint8_t kind = 0;
    std::string name = {}; // UTF-8, written in code page 1251
    Bytes content = {};    // compressed into the member's zlib stream
    std::optional<std::uint32_t> packed_len = std::nullopt;
    std::optional<std::int32_t> unpacked_len = std::nullopt;
    std::optional<Bytes> name_bytes = std::nullopt; // written instead of the encoded name
};

// The divisor, then each member: kind, name length, name, packed and unpacked length,
// zlib stream of the content.
Bytes zreg_package(std::uint16_t divisor, const std::vector<ZregMember>& members);

// The smallest package that brings data to a well of area "Северная": its identity file
// and a real-time file "1.realtim" of one record (time 100, one parameter).
Bytes one_record_package(std::string_view well);

// One record of the compact form; its bytes 1-12 and 77-80 are the classic record's
// time, depths and filler, copied unchanged on expansion.
struct CompactRecord {
    std::uint8_t operation = 0;
    std::uint32_t time = 0;
    float depth_z = 0;
    float depth_cur = 0;
    std::array<std::uint16_t, zreg::parameter_count> q{};
    std::array<std::uint8_t, 4> filler = {0xA5, 0x5A, 0xC3, 0x3C};
};

// Offsets, scales, then the 81-byte records stored column by column.
Bytes compact_classic(const std::array<float, zreg::parameter_count>& offsets,
                      const std::array<float, zreg::parameter_count>& scales,
                      const std::vector<CompactRecord>& records);

// [скважина] номер / площадь, CR LF lines. In lib::enc_1251 without a marker; in
// lib::enc_utf8 after the marker section [__special__] encoding=utf8.
Bytes inpgti_ini(std::string_view well, std::string_view area, lib::StrEncoding encoding);
// The older stations' form: [pore] hole / field, same encodings.
Bytes inpgti_ini_pore(std::string_view well, std::string_view area, lib::StrEncoding encoding);

} // namespace testkit
