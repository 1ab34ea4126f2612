#include "platform/Memory.h"

#include <cstdlib> // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

namespace {

// Blocks from a megabyte on are mapped and unmapped on their own, and an arena's free top is
// given back past a megabyte, whatever sizes were freed before.
constexpr int fixed_threshold = 1 << 20;

} // namespace

void keep_heap_small()
{
#if defined(__GLIBC__)
    ::mallopt(M_MMAP_THRESHOLD, fixed_threshold);
    ::mallopt(M_TRIM_THRESHOLD, fixed_threshold);
#endif
}

void release_free_memory()
{
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

} // namespace platform
