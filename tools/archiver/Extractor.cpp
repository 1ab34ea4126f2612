#include "tools/archiver/Extractor.h"

#include "tools/archiver/Output_name.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archiver {
namespace {

// Decompression dominates the time; a large buffer only saves system calls.
constexpr std::size_t buffer_size = 1 << 20;
constexpr std::size_t package_block_size = 1 << 20;

struct ReaderDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
using Reader = std::unique_ptr<archive, ReaderDeleter>;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    // Closes now: the last write errors of some file systems only show here.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

// A file written under a temporary name; removed again unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    ~TempFile()
    {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool rename_to(const std::string& target)
    {
        if (::rename(path_.c_str(), target.c_str()) != 0)
            return false;
        path_.clear();
        return true;
    }

private:
    std::string path_;
};

std::string reader_error(archive* a)
{
    const char* message = archive_error_string(a);
    return message != nullptr ? message : "unknown archive error";
}

std::string system_error(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

bool write_all(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

Reader open_package(int package_fd, std::string& error)
{
    Reader reader(archive_read_new());
    archive* a = reader.get();
    if (a == nullptr) {
        error = "out of memory";
        return nullptr;
    }
    // No outer compression filters: the packages are archives themselves, whose formats
    // decompress their own entries, and some filters would start outside programs on
    // content that merely looks like theirs.
    // Only real archive formats: a file that is none of them must fail, not come out as one
    // "raw" entry.
    archive_read_support_format_7zip(a);
    archive_read_support_format_zip(a);
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
    // Names without the UTF-8 flag come from a Russian Windows, in its DOS code page. Names
    // that carry the flag (zip) or a Unicode copy (RAR 4) are read as UTF-8 regardless.
    if (archive_read_set_format_option(a, "zip", "hdrcharset", "CP866") != ARCHIVE_OK
        || archive_read_set_format_option(a, "rar", "hdrcharset", "CP866") != ARCHIVE_OK) {
        error = reader_error(a);
        return nullptr;
    }
    if (archive_read_open_fd(a, package_fd, package_block_size) != ARCHIVE_OK) {
        error = reader_error(a);
        return nullptr;
    }
    return reader;
}

bool is_plain_file(archive_entry* entry)
{
    return archive_entry_filetype(entry) == AE_IFREG && archive_entry_hardlink(entry) == nullptr;
}

} // namespace

Extractor::Extractor(std::string folder) : folder_(std::move(folder)), buffer_(buffer_size) {}

std::optional<std::string> Extractor::extract(const std::string& package)
{
    // Opened here rather than by libarchive, whose message for a missing file omits the cause.
    const Fd package_file(::open(package.c_str(), O_RDONLY | O_CLOEXEC));
    if (package_file.get() < 0)
        return std::strerror(errno);
    // A folder or a pipe is no package, and reading a pipe could block for ever.
    struct stat package_stat {};
    if (::fstat(package_file.get(), &package_stat) != 0 || !S_ISREG(package_stat.st_mode))
        return "not a regular file";
    std::string error;
    const Reader reader = open_package(package_file.get(), error);
    if (!reader)
        return error;
    archive* a = reader.get();

    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec || !std::filesystem::is_directory(folder_, ec))
        return "cannot create folder " + folder_ + (ec ? ": " + ec.message() : ": not a folder");

    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(a, &entry);
        if (status == ARCHIVE_EOF)
            return std::nullopt;
        // A warning (a name that would not convert, say) still leaves a readable entry.
        if (status < ARCHIVE_WARN)
            return reader_error(a);
        if (archive_entry_is_encrypted(entry))
            return "encrypted packages are not supported";

        if (!is_plain_file(entry)) {
            if (auto failure = read_to_end(a))
                return failure;
            continue;
        }
        const char* path = archive_entry_pathname(entry);
        if (path == nullptr)
            path = archive_entry_pathname_utf8(entry);
        // Skipping a file whose name is unreadable would lose it without a word.
        if (path == nullptr)
            return "an entry's name cannot be read";
        const auto name = safe_output_name(path);
        if (!name) {
            if (auto failure = read_to_end(a))
                return failure;
            continue;
        }
        if (auto failure = write_entry(a, entry, *name))
            return failure;
    }
}

// Entries are always read to their end, also when skipped: skipping data in a 7z solid block
// throws the decoder off for the next entry, and reading is what checks the data.
std::optional<std::string> Extractor::read_to_end(archive* a)
{
    for (;;) {
        const la_ssize_t got = archive_read_data(a, buffer_.data(), buffer_.size());
        if (got == 0)
            return std::nullopt;
        if (got < 0)
            return reader_error(a);
    }
}

std::optional<std::string> Extractor::write_entry(archive* a, archive_entry* entry, const std::string& name)
{
    const std::string target = (std::filesystem::path(folder_) / name).string();

    std::string temp_path;
    int fd = -1;
    while (fd < 0) {
        temp_path = (std::filesystem::path(folder_)
                     / (".7za-" + std::to_string(::getpid()) + "-" + std::to_string(temp_counter_++) + ".part"))
                        .string();
        fd = ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST)
            return system_error("cannot create", temp_path);
    }
    Fd file(fd);
    TempFile temp(temp_path);

    for (;;) {
        const la_ssize_t got = archive_read_data(a, buffer_.data(), buffer_.size());
        if (got == 0)
            break;
        // Negative covers a failed checksum too (reported as a warning at the entry's end).
        if (got < 0)
            return reader_error(a);
        if (!write_all(file.get(), buffer_.data(), static_cast<std::size_t>(got)))
            return system_error("cannot write", target);
    }
    if (archive_entry_mtime_is_set(entry)) {
        const timespec times[2] = {{0, UTIME_OMIT}, {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)}};
        ::futimens(file.get(), times);
    }
    if (!file.close())
        return system_error("cannot write", target);
    if (!temp.rename_to(target))
        return system_error("cannot write", target);
    return std::nullopt;
}

} // namespace archiver
