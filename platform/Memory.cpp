#include "platform/Memory.h"

#include <cstdlib> // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <sys/mman.h>

#include <cstdint>

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

void advise_huge_pages(void* block, std::size_t bytes)
{
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t page = 4096;
    const auto start = (reinterpret_cast<std::uintptr_t>(block) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(page - 1);
    if (end > start)
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    static_cast<void>(block);
    static_cast<void>(bytes);
#endif
}

} // namespace platform
