#pragma once
// The heap of a process that runs for months (a watch, a window left open): memory that a
// package's run freed goes back to the system before the next one.
//
// glibc keeps freed memory for reuse and, after each large block it frees, raises the sizes
// above which it maps blocks on their own and trims the top of an arena. A merge holds the
// whole well file in memory, so every merge into a larger file than before left the process
// that much larger for good. release_free_memory() first fixes those thresholds (once per
// process), then hands every arena's free pages back.
//
// Thread-safe; never throws. Elsewhere than with glibc it does nothing.

namespace platform {

void release_free_memory();

} // namespace platform
