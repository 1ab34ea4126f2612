#pragma once
// Sizes and offsets of the classic form, named once for its reader, its writer and the
// rearranged forms that packages carry it in. All numbers little-endian.
//
// Record (145 bytes, no file header): operation u8 | time u32 (0: empty record) | depth_z
// f32 | depth_cur f32 | 32 values f32 | 4 bytes the program neither reads nor keeps.
//
// Compact record (81 bytes): the record's first 13 bytes and its last 4 unchanged, the 32
// values as u16 quantised. Packages store compact records byte column by byte column (byte
// j of record i at j x N + i) after a head that tells how to turn them back into floats:
//   compact file (".rar"):          32 divisors i16 | count i32 | columns; value = q / d
//   quantised file (".zreg" kind 1): 32 offsets f32 | 32 scales f32 | columns;
//                                   value = q x scale / divisor + offset, the divisor
//                                   coming from the package's own head.
// Planar file (".rar"): whole 145-byte records stored by columns in the same way.

#include <cstddef>

namespace classic_layout {

inline constexpr std::size_t value_count = 32;

// The record.
inline constexpr std::size_t record_operation = 0;
inline constexpr std::size_t record_time = 1;
inline constexpr std::size_t record_depth_z = 5;
inline constexpr std::size_t record_depth_cur = 9;
inline constexpr std::size_t record_values = 13;
inline constexpr std::size_t record_tail = record_values + 4 * value_count; // 141
inline constexpr std::size_t tail_size = 4;
inline constexpr std::size_t record_size = record_tail + tail_size;
static_assert(record_size == 145);

// The compact record: the same head (operation, time, two depths) and tail.
inline constexpr std::size_t head_size = record_values; // bytes 0-12, copied unchanged
inline constexpr std::size_t compact_values = head_size;
inline constexpr std::size_t compact_tail = compact_values + 2 * value_count; // 77
inline constexpr std::size_t compact_record_size = compact_tail + tail_size;
static_assert(compact_record_size == 81);

// The head of a compact file: divisors, then the record count.
inline constexpr std::size_t compact_divisors = 0;
inline constexpr std::size_t compact_count = compact_divisors + 2 * value_count; // 64
inline constexpr std::size_t compact_head_size = compact_count + 4;
static_assert(compact_head_size == 68);

// The head of a quantised file: offsets, then scales.
inline constexpr std::size_t quantised_offsets = 0;
inline constexpr std::size_t quantised_scales = quantised_offsets + 4 * value_count;
inline constexpr std::size_t quantised_head_size = quantised_scales + 4 * value_count;
static_assert(quantised_head_size == 256);

// One entry of the parameter list "inpgti.nbl": four strings ended by a zero byte, then
// bytes nobody reads, int_attr i32, float_attr f32 and more unread bytes.
inline constexpr std::size_t list_gap_before_int = 12;
inline constexpr std::size_t list_gap_after_float = 5;

} // namespace classic_layout
