#pragma once
// Sizes and offsets of the real-time form, named once for its reader and its writer.
// A file is a sequence of sectors: a 3-byte header (type u8, body size i16) and the body.

#include <cstddef>
#include <cstdint>

namespace realtime_layout {

inline constexpr std::size_t header_size = 3;
inline constexpr int max_sector_type = 99;
inline constexpr int max_body_size = 32767;
// How many plausible headers in a row the search after a damaged sector asks for.
inline constexpr int plausible_run = 5;

inline constexpr int sector_record = 1;
inline constexpr int sector_params = 2;
inline constexpr int sector_text_area = 3;
inline constexpr int sector_remark = 4;
inline constexpr int sector_values_only = 5;
inline constexpr int sector_format = 99;

// Record heads. The old head ends with an 8-bit value count at 17; the new one carries two
// reserved words and fixed bytes before the sub-second byte and a 32-bit count.
inline constexpr int old_record_head = 18;
inline constexpr int new_record_head = 45;
inline constexpr std::size_t record_time = 0;
inline constexpr std::size_t record_depth_z = 4;
inline constexpr std::size_t record_lag_depth = 8;
inline constexpr std::size_t record_operation = 12;
inline constexpr std::size_t record_depth_cur = 13;
inline constexpr std::size_t old_record_count = 17;
inline constexpr std::size_t new_record_reserved = 17;
inline constexpr std::size_t new_record_constants = 25;
inline constexpr std::size_t new_record_subsecond = 40;
inline constexpr std::size_t new_record_count = 41;
// What the new head holds between the reserved words and the sub-second byte.
inline constexpr std::uint32_t new_record_words[] = {14, 5, 4};
inline constexpr std::uint8_t new_record_bytes[] = {7, 47, 107};

// Values-only records carry this operation code.
inline constexpr std::uint8_t values_only_operation = 255;

} // namespace realtime_layout
