#pragma once
// How the header readers get bytes of a package: up to `size` bytes from `offset`, fewer at
// the end of the file. Lets the readers be tested on bytes in memory.

#include <cstdint>
#include <functional>
#include <string>

namespace archiver {

using ReadAt = std::function<std::string(std::uint64_t offset, std::size_t size)>;

} // namespace archiver
