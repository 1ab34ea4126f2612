#pragma once
// A seam through which a test makes the system fail: the Nth write, flush, close, rename,
// folder flush or lock that the program asks of platform/ fails with the error of its
// choice, as a disk or a file server would. Unarmed it costs one relaxed atomic load.
//
// Only calls on paths under the plan's folders count, so that a test aims at the store
// and the run's scratch files and not at, say, the terminal. The seam is process-wide and
// safe to use from several threads; tests arm it around one run and disarm it after.

#include <cstdint>
#include <string>
#include <vector>

namespace platform::fault {

enum Call : unsigned {
    write = 1u << 0,
    flush = 1u << 1,
    close = 1u << 2,
    rename = 1u << 3,
    folder_flush = 1u << 4,
    lock = 1u << 5,
    every_call = (1u << 6) - 1,
};

struct Plan {
    unsigned calls = every_call; // which kinds of call count
    std::uint64_t nth = 1;       // the one that fails, counted from 1
    int error = 5;               // EIO
    std::vector<std::string> folders; // only calls on paths below these count; empty: all
};

void arm(Plan plan);
void disarm();
// Whether the armed call was reached (and failed) since arm().
bool met();
// How many counted calls were made since arm().
std::uint64_t counted();

// For platform/ itself: 0, or the error the call must fail with. The path is asked for
// only when the seam is armed.
int injected(Call call, int fd);
int injected(Call call, const std::string& path);

} // namespace platform::fault
