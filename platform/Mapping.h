#pragma once
// An owned memory mapping of (part of) a file; unmapped on destruction.

#include <cstddef>

namespace platform {

class Mapping {
public:
    enum class Access { read_only, read_write };

    Mapping() = default;
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    Mapping(Mapping&& other) noexcept;
    Mapping& operator=(Mapping&& other) noexcept;
    ~Mapping() { reset(); }

    // Maps `length` bytes of the file from offset 0. Returns 0 on success, else errno.
    // A read-write mapping is shared: stores reach the file.
    int map(int fd, std::size_t length, Access access);
    void reset();

    char* data() const { return static_cast<char*>(address_); }
    std::size_t length() const { return length_; }
    bool mapped() const { return address_ != nullptr; }

private:
    void* address_ = nullptr;
    std::size_t length_ = 0;
};

} // namespace platform
