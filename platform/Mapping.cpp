#include "platform/Mapping.h"

#include <cerrno>
#include <utility>

#include <sys/mman.h>

namespace platform {

Mapping::Mapping(Mapping&& other) noexcept
    : address_(std::exchange(other.address_, nullptr)), length_(std::exchange(other.length_, 0))
{
}

Mapping& Mapping::operator=(Mapping&& other) noexcept
{
    if (this != &other) {
        reset();
        address_ = std::exchange(other.address_, nullptr);
        length_ = std::exchange(other.length_, 0);
    }
    return *this;
}

int Mapping::map(int fd, std::size_t length, Access access)
{
    reset();
    if (length == 0)
        return EINVAL;
    const int protection = access == Access::read_only ? PROT_READ : PROT_READ | PROT_WRITE;
    void* address = ::mmap(nullptr, length, protection, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED)
        return errno;
    address_ = address;
    length_ = length;
    return 0;
}

void Mapping::reset()
{
    if (address_ != nullptr)
        ::munmap(address_, length_);
    address_ = nullptr;
    length_ = 0;
}

} // namespace platform
