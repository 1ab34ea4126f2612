#pragma once
// A file mapped into memory for reading or for writing values one after another.
//
// Opened for writing, the mapping grows geometrically as values are written (to count plus
// twice its size), and the file is cut to the last byte written when the object goes away.
// Nothing here throws: operations answer false, -1, or leave their output untouched.
// One thread at a time.

#include "lib/Strworks.h"
#include "platform/File.h"
#include "platform/Mapping.h"

#include <cstdint>
#include <string>

namespace lib {

class mapped_file_base {
public:
    enum Mode { mode_read = 0, mode_write = 1 };

    mapped_file_base() = default;
    mapped_file_base(const mapped_file_base&) = delete;
    mapped_file_base& operator=(const mapped_file_base&) = delete;

    // Opens and maps the whole file; in mode_write the file is created or emptied first.
    // False when already mapped, on an unknown mode, or when the file cannot be opened or
    // mapped (another of our processes writing it counts as that).
    bool open(const std::string& path, int mode);
    // Maps `new_size` bytes, cutting or extending the file; on failure the file is closed.
    bool resize(std::uint64_t new_size);
    void close();

    bool mapped() const { return mapped_; }
    bool writable() const { return mode_ == mode_write; }
    std::uint64_t file_size() const { return file_size_; }
    std::uint64_t mapping_size() const { return mapping_size_; }

protected:
    char* view() const { return mapping_.data(); }

private:
    bool map_view(std::uint64_t size);

    platform::UniqueFd fd_;
    platform::Mapping mapping_;
    bool mapped_ = false;
    int mode_ = mode_read;
    std::uint64_t file_size_ = 0;
    std::uint64_t mapping_size_ = 0;
};

class mapped_file : public mapped_file_base {
public:
    mapped_file() : converter_(enc_none) { converter_.set_encoding(enc_1251); }
    ~mapped_file();

    bool open(const std::string& path, int mode);
    // Appends at the write position; the new offset from the start, or -1 when nothing is
    // mapped, the file is read-only, the end of data was reached, or the mapping cannot grow.
    std::int64_t write(const void* data, std::size_t count);
    std::int64_t write_i32(std::int32_t value) { return write(&value, sizeof value); }
    std::int64_t write_string(std::string_view text);
    std::int64_t write_cstr(const char* text);

    // Reads from the read position within the file's size at open.
    void read_i32(std::int32_t& value);
    void read_string(std::string& text);

    bool resize(std::uint64_t new_size);
    void close();

    bool end_of_data() const { return end_of_data_; }
    std::uint64_t highest_write() const { return highest_write_; }
    StrEncConverter& converter() { return converter_; }

private:
    bool make_room(std::size_t count);
    void update_end_of_data();

    StrEncConverter converter_;
    ByteBuffer encoded_;
    // Offsets from the start of the view, so that a remap moves nothing.
    std::uint64_t read_offset_ = 0;
    std::uint64_t write_offset_ = 0;
    std::uint64_t usable_end_ = 0;
    bool end_of_data_ = false;
    std::uint64_t highest_write_ = 0;
};

} // namespace lib
