#pragma once
// The second route for RAR packages that libarchive cannot decode (Debian's libarchive 3.6.2
// decodes RAR 4 data that span several compression blocks wrongly and then fails their
// checksum). Debian's `unar` unpacks the package into a private hidden folder inside the
// output folder; `lsar` lists what the package declares. Every declared file must have come
// out with its declared size and, where the package records one, its CRC-32; only then are
// the files moved into the output folder, flat, under their last name component, in the
// package's order. Links and folders never leave the private folder, which is removed on
// every path.
//
// Both programs are looked up on PATH and run without a shell, standard input /dev/null.

#include <optional>
#include <string>

namespace archiver {

// Nothing on success, otherwise what went wrong (one line).
std::optional<std::string> extract_with_unar(const std::string& package, const std::string& folder);

} // namespace archiver
