#pragma once
// Writers of the classic form: the parameter list "inpgti.nbl" and the headerless data
// files (.tim .dep .ldp) of 145-byte records. Pure functions returning bytes; strings are
// code page 1251. The unused bytes are nonzero garbage by default so that readers are
// shown to skip them rather than to depend on zeros.

#include "storage/Realtimedatareader.h"
#include "testkit/Bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace testkit {

namespace classic {
inline constexpr std::size_t entry_gap_size = 12;  // between the name and int_attr
inline constexpr std::size_t entry_tail_size = 5;  // after float_attr
inline constexpr std::size_t value_count = 32;
inline constexpr std::size_t operation_offset = 0;
inline constexpr std::size_t time_offset = 1;
inline constexpr std::size_t depth_z_offset = 5;
inline constexpr std::size_t depth_cur_offset = 9;
inline constexpr std::size_t values_offset = 13;
inline constexpr std::size_t filler_offset = values_offset + 4 * value_count; // 141
inline constexpr std::size_t filler_size = 4;
inline constexpr std::size_t record_size = filler_offset + filler_size;     // 145
static_assert(record_size == 145);
} // namespace classic

struct ClassicListLayout {
    std::array<std::uint8_t, classic::entry_gap_size> gap = {0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6,
                                                             0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC};
    std::array<std::uint8_t, classic::entry_tail_size> tail = {0xD1, 0xD2, 0xD3, 0xD4, 0xD5};
    // Ends the list with an entry whose name is empty, as some stations write it.
    bool terminator = false;
};

struct ClassicRecord {
    std::uint8_t operation = 0;
    std::uint32_t time = 0; // 0 marks an empty record
    float depth_z = 0;
    float depth_cur = 0;
    std::array<float, classic::value_count> values{};
    std::array<std::uint8_t, classic::filler_size> filler = {0xA5, 0x5A, 0xC3, 0x3C};
};

// One list entry: text1, text2, text3, name, gap, int_attr, float_attr, tail.
Bytes classic_param_entry(const FileStorageParam& param, const ClassicListLayout& layout = {});
Bytes classic_param_list(const std::vector<FileStorageParam>& params, const ClassicListLayout& layout = {});

// Exactly classic::record_size bytes.
Bytes classic_record(const ClassicRecord& record);
Bytes classic_file(const std::vector<ClassicRecord>& records);

// The classic record of a model record: its first 32 values (missing ones 0); lag_depth
// has no place in this form.
ClassicRecord classic_record_from(const FileStorageItem& item);

} // namespace testkit
