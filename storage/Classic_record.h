#pragma once
// The classic record and the forms that packages carry it in (storage/Classic_layout.h),
// as bytes in memory: the reader of classic files, the merge that extends them and the
// unpackers of ".rar" and ".zreg" packages all go through here. The decoders take the bytes
// of a whole file and return the plain records; the encoders are their inverses. No file
// is touched.

#include "storage/Realtimedatareader.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace storage {

using ClassicDivisors = std::array<std::int16_t, 32>;
using ClassicFactors = std::array<float, 32>;

// The model record of the classic_layout::record_size bytes at `record`. Its lag_depth is
// its depth_z (the form has no lag depth); the 4 tail bytes are not kept.
FileStorageItem classic_item(const char* record);

// Appends the record of `item`: its first 32 values, missing ones 0; lag_depth has no place
// and the tail bytes are written as zeros.
void append_classic_record(std::string& out, const FileStorageItem& item);

// The records of a planar file (byte j of record i at j x N + i, N = size / 145). Bytes past
// the last whole record stay at the end as they are.
std::string classic_from_planar(std::string_view columns);
std::string classic_to_planar(std::string_view records);

// The records of a compact file; nothing when its count is not positive or does not fit its
// size. A divisor of 0 gives the value 0.
std::optional<std::string> classic_from_compact(std::string_view file);
// Values are rounded to the nearest step of 1 / divisor, within 0..65535.
std::string classic_to_compact(std::string_view records, const ClassicDivisors& divisors);

// The records of a quantised file, with the package's `divisor`; nothing when the file is
// shorter than its head. Bytes past the last whole compact record are dropped. The values
// are the IEEE-754 results of the formula: a divisor of 0 gives infinities or NaN.
std::optional<std::string> classic_from_quantised(std::string_view file, std::uint16_t divisor);
std::string classic_to_quantised(std::string_view records, const ClassicFactors& offsets,
                                 const ClassicFactors& scales, std::uint16_t divisor);

// A classic file from an archive package is planar or compact; which one its size tells,
// and when it is a multiple of both record sizes, the compact head's count. The records,
// or nothing for an empty file or a compact head that does not fit its size.
enum class RearrangedForm { planar, compact };
RearrangedForm rearranged_form_of(std::string_view file);
std::optional<std::string> classic_from_rearranged(std::string_view file);

} // namespace storage
