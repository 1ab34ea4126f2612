#pragma once
// The messages of the compressed column form, and the checked reads its decoders share.

#include "storage/Realtimedatareader.h"

#include <cstdint>
#include <string>

namespace storage {

namespace compressed_text {
inline constexpr std::string_view bad_magic = "FileStorage::load_after_decompressing: Некорркетный заголовок файла";
inline constexpr std::string_view bad_version = "FileStorage::load_after_decompressing: Некорркетная версия файла";
inline constexpr std::string_view stream_magic = "CREGFILE";
inline constexpr std::int32_t stream_version = 1;

std::string unknown_method(std::int32_t method);
std::string unknown_kind(std::int32_t kind);
std::string negative_count(std::int64_t count);
std::string list_too_long(std::int64_t count, std::size_t element_size, std::uint64_t left);
std::string wrong_count(std::int64_t count, std::size_t records);
std::string bad_coefficient_count(std::int64_t count);
std::string coefficients_for_records(std::int64_t count, std::size_t records);
std::string codes_missing(std::int64_t count);
std::string exact_values_mismatch(std::int64_t positions, std::int64_t values);
inline constexpr std::string_view positions_unordered =
    "В квантованном столбце позиции точных значений идут не по возрастанию";
} // namespace compressed_text

// Damaged compressed data: the member cannot be read further.
inline FileStorageException compressed_error(const std::string& message)
{
    return FileStorageException(message, true);
}

// A count that must be at least 0 and fit, at `element_size` bytes each, into what is left.
std::size_t checked_count(lib::io::BinaryInputStream& in, std::int32_t count, std::size_t element_size);

} // namespace storage
