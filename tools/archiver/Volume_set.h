#pragma once
// The volumes of a RAR set lie side by side as NAME.part1.rar, NAME.part2.rar ... (the number
// zero-padded to one width across the set). Pure functions, no I/O.

#include <cstdint>
#include <optional>
#include <string>

namespace archiver {

// The path of volume `index` (0 = the first) of the set that `volume_path` belongs to, or
// nothing when the name is not of that pattern. The case of ".part" and ".rar" is kept.
std::optional<std::string> rar_volume_path(const std::string& volume_path, std::uint64_t index);

} // namespace archiver
