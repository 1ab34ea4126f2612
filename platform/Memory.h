#pragma once
// The heap of a process that runs for months (a watch, a window left open): memory that a
// package's run freed goes back to the system before the next one.
//
// glibc keeps freed memory for reuse and, after each large block it frees, raises the sizes
// above which it maps blocks on their own and trims the top of an arena. A merge holds the
// whole well file in memory, so every merge into a larger file than before left the process
// that much larger for good.
//
// keep_heap_small() fixes those thresholds for the rest of the process: only the programs
// that run jobs for months call it, once at their start (the watch, the window), since a
// fixed threshold makes every large block cost a map and an unmap, which a one-off
// extraction, whose memory goes back at its exit anyway, need not pay.
// release_free_memory() hands every arena's free pages back; a run calls it after each
// package.
//
// Thread-safe; never throws. Elsewhere than with glibc they do nothing.

#include <cstddef>

namespace platform {

void keep_heap_small();
void release_free_memory();

// Asks that a large block about to be filled once (a stream's decoded values) be backed by
// huge pages where the system allows it: one fault per 2 MB instead of one per 4 KB, which
// a virtual machine makes costly. Only a hint; the block's whole pages inside it count.
void advise_huge_pages(void* block, std::size_t bytes);

} // namespace platform
