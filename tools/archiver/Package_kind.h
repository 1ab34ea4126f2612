#pragma once
// Which archive format a package is, told by the signature at its very start. Only that one
// format is then offered to the reader: an archive stored inside another (a zip inside a RAR)
// must never make the reader take the inner one for the package. Pure functions, no I/O.
//
// A self-extracting RAR archive is an executable stub (a Windows "MZ" or an ELF program)
// followed by the archive: for such a file the RAR signature is looked for past the stub,
// as libarchive does, at 16-byte steps within the first 128 KiB, and nowhere else.

#include "tools/archiver/Read_at.h"

#include <cstdint>
#include <string_view>

namespace archiver {

enum class PackageKind { unknown, seven_zip, zip, rar4, rar5 };

// `head` is the first bytes of the file (8 are enough; fewer give unknown).
PackageKind package_kind(std::string_view head);

inline constexpr std::size_t package_signature_size = 8;

// Where the archive of a package starts: at 0, or past the stub of a self-extracting RAR.
struct PackageStart {
    PackageKind kind = PackageKind::unknown;
    std::uint64_t offset = 0;
};

inline constexpr std::uint64_t sfx_search_limit = 128 * 1024;
inline constexpr std::uint64_t sfx_search_step = 16;

PackageStart find_package_start(const ReadAt& read);

} // namespace archiver
