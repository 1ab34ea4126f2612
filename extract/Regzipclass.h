#pragma once
// The reader of ".zreg" packages: a two-byte quantisation divisor, then members, each a
// kind byte, a name (code page 1251), the packed and unpacked lengths and one zlib stream.
//
// Members are unpacked into a folder: a member of kind 1 is a classic data file in its
// quantised form and is expanded to full records (storage/Classic_record); a member named
// "*.newcompr1" is a single compressed stream and becomes the real-time file of the name
// without that suffix. Every file is written under a temporary name and renamed into place,
// so nothing half-written is left behind.
//
// Damaged input stops the package: rzip::Exception (UTF-8 text) for a bad length, a zlib
// error, a size that disagrees with the header or a package cut inside a member; the
// errors of lib::io, lib::dll (zlib missing) and FileStorage pass through. A member whose
// name is not a plain file name is read past and not written, so nothing ever lands
// outside the folder. One object per package, used by one thread.

#include "lib/io/Binary_io.h"

#include <boost/noncopyable.hpp>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>
#include <string_view>

namespace rzip {

namespace layout {
inline constexpr std::size_t header_size = 2;             // the divisor
inline constexpr std::int32_t max_unpacked_len = 100000000;
inline constexpr std::uint8_t kind_quantised = 1;
inline constexpr std::string_view stream_suffix = ".newcompr1";
} // namespace layout

// Message stored as UTF-8.
namespace text {
inline constexpr const char* cut_in_member_head = "Пакет обрывается в заголовке очередного файла";
inline constexpr const char* shorter_than_header = "Пакет пуст или короче своего заголовка";
} // namespace text

class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Decompression : private boost::noncopyable {
public:
    // Opens the package and reads the divisor. A package that cannot be opened or is
    // shorter than its header is no error here: it simply has nothing to extract.
    explicit Decompression(std::string package_path);

    // Creates the folder when missing and unpacks every member into it. `folder` ends
    // with '/' (one is added otherwise).
    void extract_all(const std::string& folder);
    // Unpacks the member at the current position; false at the end of the members. A
    // package that ends inside a member (its head included) raises rzip::Exception.
    bool extract_next_file(const std::string& folder);
    // Reads `packed_len` bytes at the current position, decompresses them and writes the
    // result at `path` (for ".newcompr1": the real-time file beside it).
    void extract_simple_file(const std::string& path, std::uint32_t packed_len, std::int32_t unpacked_len);
    // Expands the quantised classic file at `path` to full records in place; a missing
    // file or one shorter than the quantised head is left alone.
    void expand_quantised_file(const std::string& path);

    const std::string& package_path() const { return package_path_; }
    bool readable() const { return readable_; }
    // Raises the error that kept the package from being opened, if there was one.
    void rethrow_open_error() const
    {
        if (open_error_)
            std::rethrow_exception(open_error_);
    }
    std::uint16_t divisor() const { return divisor_; }

private:
    // A member is inflated and its file written, or a ".newcompr1" member rebuilt, while
    // the next members are read: extract_all lets as many such tasks run as there are
    // processors and waits for them at the end. Outside extract_all the task runs at once.
    void in_background(std::string target, std::function<void()> task);
    // Waits, oldest first, up to the last pending task that writes `target`: a later member
    // of the same name must land after the earlier one.
    void wait_for_target(const std::string& target);
    void wait_for_background();
    void abandon_background() noexcept;
    std::vector<unsigned char> read_packed(const std::string& name, std::uint32_t packed_len);
    std::vector<unsigned char> inflate(const std::string& name, const std::vector<unsigned char>& packed,
                                       std::int32_t unpacked_len);

    // Member buffers of megabytes, used again: fresh ones would be mapped and faulted in page
    // by page for every member, which costs as much as a third of the inflating.
    class Buffers {
    public:
        std::vector<unsigned char> take();
        void give_back(std::vector<unsigned char> buffer);

    private:
        std::mutex mutex_;
        std::vector<std::vector<unsigned char>> free_;
    };

    std::string package_path_;
    lib::io::BinaryInputFileStream in_;
    bool readable_ = false;
    std::exception_ptr open_error_;
    std::uint16_t divisor_ = 0;
    struct BackgroundTask {
        std::string target;
        std::future<void> done;
    };
    bool working_in_background_ = false;
    std::deque<BackgroundTask> background_;
    Buffers packed_buffers_;
    Buffers unpacked_buffers_;
};

// True when a member's name (decoded) may be written into the extraction folder: not
// empty, not "." or "..", without '/', '\' or a zero byte, and for a ".newcompr1" member
// the same of the name it is saved under.
bool is_plain_member_name(std::string_view name);

} // namespace rzip
