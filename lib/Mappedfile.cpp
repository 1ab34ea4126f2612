#include "lib/Mappedfile.h"

#include <algorithm>
#include <cstring>

namespace lib {

bool mapped_file_base::open(const std::string& path, int mode)
{
    if (mapped_)
        return false;
    if (mode != mode_read && mode != mode_write)
        return false;
    const auto access = mode == mode_read ? platform::OpenAccess::read : platform::OpenAccess::read_write_keep;
    platform::OpenResult opened = platform::open_regular_file(path, access);
    if (!opened.fd.valid())
        return false;
    // Others may read the file meanwhile, but not write it.
    const auto lock = mode == mode_read ? platform::LockKind::shared : platform::LockKind::exclusive;
    if (!platform::try_lock(opened.fd.get(), lock))
        return false;
    if (mode == mode_write && !platform::resize_file(opened.fd.get(), 0))
        return false;
    const std::int64_t size = platform::file_size(opened.fd.get());
    if (size < 0)
        return false;

    fd_ = std::move(opened.fd);
    mode_ = mode;
    file_size_ = static_cast<std::uint64_t>(size);
    mapping_size_ = file_size_;
    if (!map_view(mapping_size_)) {
        fd_.reset();
        return false;
    }
    mapped_ = true;
    return true;
}

// An empty file gets a one-byte placeholder mapping that is never touched, so that an
// empty file is "mapped" without being extended.
bool mapped_file_base::map_view(std::uint64_t size)
{
    const auto access = mode_ == mode_write ? platform::Mapping::Access::read_write : platform::Mapping::Access::read_only;
    if (mode_ == mode_write && size > 0 && static_cast<std::uint64_t>(platform::file_size(fd_.get())) < size
        && !platform::resize_file(fd_.get(), size))
        return false;
    return mapping_.map(fd_.get(), size == 0 ? 1 : static_cast<std::size_t>(size), access) == 0;
}

bool mapped_file_base::resize(std::uint64_t new_size)
{
    if (!mapped_)
        return false;
    mapping_.reset();
    bool ok = true;
    if (new_size < mapping_size_)
        ok = platform::resize_file(fd_.get(), new_size);
    // A read-only file cannot grow: mapping past its end would fault on access.
    if (ok && mode_ == mode_read && new_size > file_size_)
        ok = false;
    if (ok && map_view(new_size)) {
        mapping_size_ = new_size;
        return true;
    }
    close();
    return false;
}

void mapped_file_base::close()
{
    mapping_.reset();
    fd_.reset();
    mapped_ = false;
}

mapped_file::~mapped_file()
{
    if (highest_write_ != 0)
        resize(highest_write_);
    close();
}

bool mapped_file::open(const std::string& path, int mode)
{
    if (!mapped_file_base::open(path, mode))
        return false;
    read_offset_ = write_offset_ = usable_end_ = 0;
    end_of_data_ = false;
    highest_write_ = 0;
    return true;
}

bool mapped_file::make_room(std::size_t count)
{
    if (write_offset_ + count < usable_end_)
        return true;
    // The max() only matters after a caller cut the file below the write position.
    const std::uint64_t wanted = std::max<std::uint64_t>(count + 2 * mapping_size(), write_offset_ + count);
    if (!mapped_file_base::resize(wanted))
        return false;
    usable_end_ = mapping_size();
    return true;
}

std::int64_t mapped_file::write(const void* data, std::size_t count)
{
    if (!mapped() || !writable() || end_of_data_)
        return -1;
    if (!make_room(count))
        return -1;
    if (count > 0)
        std::memcpy(view() + write_offset_, data, count);
    write_offset_ += count;
    if (write_offset_ > highest_write_)
        highest_write_ = write_offset_;
    return static_cast<std::int64_t>(write_offset_);
}

std::int64_t mapped_file::write_string(std::string_view text)
{
    converter_.encode(text, encoded_);
    return write(encoded_.data(), encoded_.size());
}

std::int64_t mapped_file::write_cstr(const char* text)
{
    return write(text, std::strlen(text) + 1);
}

void mapped_file::update_end_of_data()
{
    if (read_offset_ >= file_size())
        end_of_data_ = true;
}

void mapped_file::read_i32(std::int32_t& value)
{
    if (!mapped() || end_of_data_)
        return;
    if (read_offset_ + sizeof value <= file_size() && read_offset_ + sizeof value <= mapping_size()) {
        std::memcpy(&value, view() + read_offset_, sizeof value);
        read_offset_ += sizeof value;
    }
    update_end_of_data();
}

void mapped_file::read_string(std::string& text)
{
    if (!mapped() || end_of_data_)
        return;
    const std::uint64_t end = std::min(file_size(), mapping_size());
    if (read_offset_ >= end)
        return;
    const char* start = view() + read_offset_;
    const auto* zero = static_cast<const char*>(std::memchr(start, 0, end - read_offset_));
    if (zero == nullptr)
        return;
    text = converter_.decode(start, static_cast<std::size_t>(zero - start));
    read_offset_ += static_cast<std::uint64_t>(zero - start) + 1;
    update_end_of_data();
}

bool mapped_file::resize(std::uint64_t new_size)
{
    if (!mapped_file_base::resize(new_size))
        return false;
    usable_end_ = std::min(usable_end_, new_size);
    return true;
}

void mapped_file::close()
{
    mapped_file_base::close();
    read_offset_ = write_offset_ = usable_end_ = 0;
}

} // namespace lib
