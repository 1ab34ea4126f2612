#pragma once
// Which archive format a package is, told by the signature at its very start. Only that one
// format is then offered to the reader: an archive stored inside another (a zip inside a RAR)
// must never make the reader take the inner one for the package. Pure functions, no I/O.

#include <string_view>

namespace archiver {

enum class PackageKind { unknown, seven_zip, zip, rar4, rar5 };

// `head` is the first bytes of the file (8 are enough; fewer give unknown).
PackageKind package_kind(std::string_view head);

inline constexpr std::size_t package_signature_size = 8;

} // namespace archiver
