#pragma once
// A data file's newest record as its reader's record list ends: the largest time, and the
// bottom depth of the last record of that time that carries one.

#include <cmath>
#include <cstdint>

namespace storage {

struct NewestRecord {
    std::uint32_t time = 0; // 0: no record
    float depth = NAN;      // NaN: the record carries no depths (values-only)

    // A record at `record_time`; a later record of the same time replaces the depth, as the
    // reader's record list ends with it.
    void take(std::uint32_t record_time, float record_depth)
    {
        if (record_time == 0 || record_time < time)
            return;
        time = record_time;
        if (!std::isnan(record_depth))
            depth = record_depth;
    }
};

} // namespace storage
