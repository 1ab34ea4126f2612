#pragma once
// What a zip's central directory says about encryption. libarchive takes an entry's
// encryption flag from its local header, so a damaged local header reads as "encrypted";
// a central directory that marks no entry encrypted tells the damage apart.
//
// Reads only the end record and the central directory through `read`, checking every size
// against the file; a zip64 or unreadable directory gives nothing.

#include "tools/archiver/Read_at.h"

#include <cstdint>
#include <optional>

namespace archiver {

// Whether any entry of the central directory has the encryption flag, or nothing when the
// directory cannot be read. `file_size` is the package's size in bytes.
std::optional<bool> zip_directory_has_encrypted_entries(const ReadAt& read, std::uint64_t file_size);

} // namespace archiver
