#pragma once
// Generated data for benchmarks and large fixtures, deterministic for a seed on every
// platform (own mapping of the generator's output, no std distributions). Records have
// strictly increasing times, slowly growing depths and smooth values with a little noise;
// parameter names are distinct without regard to case, and even 512 fit one sector.

#include "storage/Realtimedatareader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testkit {

// Each record holds param_count values; stamped, subsecond 0, reserved words -1.
std::vector<FileStorageItem> synthetic_records(std::size_t count, std::size_t param_count, std::uint32_t seed);
std::vector<FileStorageParam> synthetic_params(std::size_t param_count);

} // namespace testkit
