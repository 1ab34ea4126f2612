#include "tools/archiver/Member_writer.h"

#include <zlib.h>

#include <cerrno>

#include <unistd.h>

namespace archiver {
namespace {

// Two blocks keep both threads busy; a third absorbs the writes that the page cache
// sometimes makes wait.
constexpr std::size_t block_count = 3;

int write_all(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

} // namespace

MemberWriter::MemberWriter(std::size_t block_size) : blocks_(block_count)
{
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        blocks_[i].bytes.resize(block_size);
        free_.push_back(i);
    }
    thread_ = std::thread([this] { run(); });
}

MemberWriter::~MemberWriter()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void MemberWriter::start(int fd, bool crc)
{
    const std::lock_guard lock(mutex_);
    fd_ = fd;
    with_crc_ = crc;
    result_ = Result{0, static_cast<std::uint32_t>(crc32(0, nullptr, 0))};
}

std::span<char> MemberWriter::fill()
{
    std::unique_lock lock(mutex_);
    // A block filled with nothing (the member's end) is still ours for the next one.
    if (!holding_) {
        changed_.wait(lock, [this] { return !free_.empty(); });
        filling_ = free_.front();
        free_.pop_front();
        holding_ = true;
    }
    return blocks_[filling_].bytes;
}

void MemberWriter::write(std::size_t size)
{
    {
        const std::lock_guard lock(mutex_);
        blocks_[filling_].size = size;
        full_.push_back(filling_);
        holding_ = false;
    }
    changed_.notify_all();
}

bool MemberWriter::failed()
{
    const std::lock_guard lock(mutex_);
    return result_.error != 0;
}

MemberWriter::Result MemberWriter::finish()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return full_.empty() && !busy_; });
    return result_;
}

void MemberWriter::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !full_.empty(); });
        // The owner finishes every member before it lets go of the writer.
        if (stopping_)
            return;
        const std::size_t index = full_.front();
        full_.pop_front();
        busy_ = true;
        const int fd = fd_;
        const bool with_crc = with_crc_;
        Result result = result_;
        lock.unlock();

        // After a failed write the member is lost anyway: its blocks only go back.
        const Block& block = blocks_[index];
        if (result.error == 0)
            result.error = write_all(fd, block.bytes.data(), block.size);
        if (result.error == 0 && with_crc)
            result.crc = static_cast<std::uint32_t>(
                crc32_z(result.crc, reinterpret_cast<const Bytef*>(block.bytes.data()), static_cast<z_size_t>(block.size)));

        lock.lock();
        result_ = result;
        busy_ = false;
        free_.push_back(index);
        changed_.notify_all();
    }
}

} // namespace archiver
