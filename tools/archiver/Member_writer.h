#pragma once
// Writes a member's data on a thread of its own, so that the decoder fills the next block
// while the last one goes to the file: decoding and writing share two processors instead
// of taking turns on one.
//
// One member at a time, from one decoding thread: start() with the open file, then fill()
// a free block and hand it over with write(); finish() waits until every block of the
// member is written. A failed write drops the rest of the member's blocks and is reported
// by finish() (and seen early through failed()). Only the constructor throws, when the
// thread cannot be started. The file descriptor stays the caller's.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace archiver {

class MemberWriter {
public:
    explicit MemberWriter(std::size_t block_size);
    ~MemberWriter();
    MemberWriter(const MemberWriter&) = delete;
    MemberWriter& operator=(const MemberWriter&) = delete;

    // A new member goes to `fd`; with `crc`, its CRC-32 is computed on the way.
    void start(int fd, bool crc);
    // A free block to fill; waits while the writer holds every block. Until write(), the
    // same block again.
    std::span<char> fill();
    // Hands over the block that fill() gave, holding `size` bytes.
    void write(std::size_t size);
    // True once a write of this member failed: decoding more of it is wasted.
    bool failed();

    struct Result {
        int error = 0;          // errno of the first failed write, 0 when all went out
        std::uint32_t crc = 0;  // of the bytes written, when asked for
    };
    // Waits for the member's blocks to be written.
    Result finish();

private:
    struct Block {
        std::vector<char> bytes;
        std::size_t size = 0;
    };
    void run();

    std::vector<Block> blocks_;
    std::deque<std::size_t> free_;
    std::deque<std::size_t> full_;
    std::size_t filling_ = 0;
    bool holding_ = false; // filling_ was given out and not handed back yet
    bool busy_ = false; // the writer holds a block outside both queues
    bool stopping_ = false;
    int fd_ = -1;
    bool with_crc_ = false;
    Result result_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_; // last: started once everything above exists
};

} // namespace archiver
