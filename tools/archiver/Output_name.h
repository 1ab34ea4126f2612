#pragma once
// Where an archive entry lands in the output folder. The extractor flattens every entry to its
// last name component, so the guard is the whole answer to "can this entry leave the folder":
// a name with no usable last component is refused, anything else is a plain file name.
// Pure function, no I/O.

#include <optional>
#include <string>
#include <string_view>

namespace archiver {

// The file name to create for `entry_path`, or nothing when the entry must be skipped.
// Both '/' and '\' separate folders (packages made on Windows use '\' in zip names).
// Refused: a last component that is empty ("", "a/"), "." or "..".
std::optional<std::string> safe_output_name(std::string_view entry_path);

} // namespace archiver
