#pragma once
// Records of one load taken from large blocks instead of one allocation each: a 42 MB file
// holds 200,000 records, and their allocations were most of its load.
//
// A record made with boost::allocate_shared and an ArenaAllocator holds the arena through
// the allocator kept in its control block, so the blocks live as long as any record made
// from them, wherever the records go. A record's own memory is not handed back before the
// whole arena goes: meant for the records of a load, which live and die together. The
// arena itself is filled by one thread; its records may then be shared like any other.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace storage {

class RecordArena {
public:
    static constexpr std::size_t block_size = std::size_t{1} << 20;

    // `bytes` aligned to `alignment` (at most alignof(std::max_align_t)).
    void* allocate(std::size_t bytes, std::size_t alignment)
    {
        std::size_t skip = (alignment - reinterpret_cast<std::uintptr_t>(next_) % alignment) % alignment;
        if (next_ == nullptr || skip + bytes > left_) {
            add_block(bytes);
            skip = 0;
        }
        std::byte* const start = next_ + skip;
        next_ = start + bytes;
        left_ -= skip + bytes;
        return start;
    }

private:
    void add_block(std::size_t at_least)
    {
        const std::size_t size = std::max(block_size, at_least);
        // Left uninitialised: every byte is written by the object placed there.
        blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(size));
        next_ = blocks_.back().get();
        left_ = size;
    }

    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::byte* next_ = nullptr;
    std::size_t left_ = 0;
};

template <class T>
class ArenaAllocator {
public:
    using value_type = T;

    explicit ArenaAllocator(std::shared_ptr<RecordArena> arena) : arena_(std::move(arena)) {}
    template <class U>
    ArenaAllocator(const ArenaAllocator<U>& other) : arena_(other.arena())
    {
    }

    T* allocate(std::size_t count) { return static_cast<T*>(arena_->allocate(count * sizeof(T), alignof(T))); }
    // The memory goes back with the arena's blocks.
    void deallocate(T*, std::size_t) noexcept {}

    const std::shared_ptr<RecordArena>& arena() const { return arena_; }

    template <class U>
    bool operator==(const ArenaAllocator<U>& other) const
    {
        return arena_ == other.arena();
    }

private:
    std::shared_ptr<RecordArena> arena_;
};

} // namespace storage
