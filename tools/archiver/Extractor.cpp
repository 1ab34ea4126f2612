#include "tools/archiver/Extractor.h"

#include "tools/archiver/Output_name.h"
#include "tools/archiver/Rar_headers.h"
#include "tools/archiver/Unar_fallback.h"
#include "tools/archiver/Volume_set.h"
#include "tools/archiver/Zip_headers.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archiver {
namespace {

// Decompression dominates the time; large blocks only save system calls.
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

constexpr const char* unknown_kind = "not an archive of a known kind (7z, zip, RAR 4 or RAR 5)";
constexpr const char* encrypted_entries = "encrypted package: encrypted entries cannot be unpacked";

std::string reader_error(archive* a)
{
    const char* message = archive_error_string(a);
    return message != nullptr ? message : "the data cannot be decoded";
}

Failure damaged(archive* a) { return Failure{Failure::damaged, "damaged package: " + reader_error(a)}; }

std::string system_error(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

// Waits for the member's last blocks, whichever way the entry ends.
class WriterDone {
public:
    explicit WriterDone(MemberWriter& writer) : writer_(writer) {}
    ~WriterDone() { writer_.finish(); }
    WriterDone(const WriterDone&) = delete;
    WriterDone& operator=(const WriterDone&) = delete;

private:
    MemberWriter& writer_;
};

Reader new_reader(PackageKind kind, std::string& error)
{
    Reader reader(archive_read_new());
    archive* a = reader.get();
    if (a == nullptr) {
        error = "out of memory";
        return nullptr;
    }
    // Only the format the signature names, and no outer compression filters: the packages are
    // archives themselves, whose formats decompress their own entries, and some filters would
    // start outside programs on content that merely looks like theirs.
    switch (kind) {
    case PackageKind::seven_zip:
        archive_read_support_format_7zip(a);
        break;
    case PackageKind::zip:
        archive_read_support_format_zip(a);
        break;
    case PackageKind::rar4:
        archive_read_support_format_rar(a);
        break;
    case PackageKind::rar5:
        archive_read_support_format_rar5(a);
        break;
    case PackageKind::unknown:
        error = unknown_kind;
        return nullptr;
    }
    // Names without the UTF-8 flag come from a Russian Windows, in its DOS code page. Names
    // that carry the flag (zip) or a Unicode copy (RAR 4) are read as UTF-8 regardless.
    const char* charset_format = kind == PackageKind::zip ? "zip" : kind == PackageKind::rar4 ? "rar" : nullptr;
    if (charset_format != nullptr && archive_read_set_format_option(a, charset_format, "hdrcharset", "CP866") != ARCHIVE_OK) {
        error = reader_error(a);
        return nullptr;
    }
    return reader;
}

// The file's bytes from `base` on, as the header readers see an archive.
ReadAt reader_at(int fd, std::uint64_t base = 0)
{
    return [fd, base](std::uint64_t offset, std::size_t size) {
        std::string bytes(size, '\0');
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got =
                ::pread(fd, bytes.data() + done, size - done, static_cast<off_t>(base + offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        bytes.resize(done);
        return bytes;
    };
}

PackageStart read_start(int fd) { return find_package_start(reader_at(fd)); }

RarLayout rar_layout(const PackageStart& start, int fd)
{
    const ReadAt read = reader_at(fd, start.offset);
    return start.kind == PackageKind::rar5 ? read_rar5_layout(read) : read_rar4_layout(read);
}

// libarchive reads an archive that starts past a stub from these callbacks, which show it
// the file from the archive's start on, so that every offset it seeks to is the archive's.
class OffsetSource {
public:
    OffsetSource(int fd, std::uint64_t base, std::uint64_t file_size)
        : fd_(fd), base_(base), size_(file_size > base ? file_size - base : 0)
    {
    }

    static la_ssize_t read(archive* a, void* data, const void** buffer)
    {
        auto& self = *static_cast<OffsetSource*>(data);
        self.block_.resize(package_block_size);
        for (;;) {
            const ssize_t got = ::pread(self.fd_, self.block_.data(), self.block_.size(),
                                        static_cast<off_t>(self.base_ + self.position_));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                archive_set_error(a, errno, "%s", std::strerror(errno));
                return -1;
            }
            self.position_ += static_cast<std::uint64_t>(got);
            *buffer = self.block_.data();
            return got;
        }
    }

    static la_int64_t skip(archive*, void* data, la_int64_t request)
    {
        auto& self = *static_cast<OffsetSource*>(data);
        const std::uint64_t left = self.size_ > self.position_ ? self.size_ - self.position_ : 0;
        const std::uint64_t skipped = request > 0 ? std::min<std::uint64_t>(static_cast<std::uint64_t>(request), left) : 0;
        self.position_ += skipped;
        return static_cast<la_int64_t>(skipped);
    }

    static la_int64_t seek(archive*, void* data, la_int64_t offset, int whence)
    {
        auto& self = *static_cast<OffsetSource*>(data);
        const la_int64_t from = whence == SEEK_SET   ? 0
                                : whence == SEEK_CUR ? static_cast<la_int64_t>(self.position_)
                                                     : static_cast<la_int64_t>(self.size_);
        if (offset < -from)
            return ARCHIVE_FATAL;
        self.position_ = static_cast<std::uint64_t>(from + offset);
        return static_cast<la_int64_t>(self.position_);
    }

private:
    int fd_;
    std::uint64_t base_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;
    std::vector<char> block_;
};

int open_from(archive* a, OffsetSource& source)
{
    archive_read_set_read_callback(a, &OffsetSource::read);
    archive_read_set_skip_callback(a, &OffsetSource::skip);
    archive_read_set_seek_callback(a, &OffsetSource::seek);
    archive_read_set_callback_data(a, &source);
    return archive_read_open1(a);
}

bool is_regular_file(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Every volume of the set that `package` belongs to, first to last, each checked to be the
// volume its place says and the last one to end the set.
std::optional<Failure> collect_volumes(const std::string& package, PackageKind kind, std::vector<std::string>& volumes)
{
    if (kind == PackageKind::rar4)
        return Failure{Failure::unsupported, "one volume of a RAR 4 volume set; such sets cannot be unpacked"};
    for (std::uint64_t index = 0;; ++index) {
        const auto path = rar_volume_path(package, index);
        if (!path)
            return Failure{Failure::unsupported,
                           "one volume of a RAR volume set whose name does not end in .partN.rar; the other volumes cannot be found"};
        if (!is_regular_file(*path))
            return Failure{Failure::damaged, "volume " + std::to_string(index + 1) + " of the set is missing: " + *path};
        const Fd fd(::open(path->c_str(), O_RDONLY | O_CLOEXEC));
        const PackageStart start = fd.get() >= 0 ? read_start(fd.get()) : PackageStart{};
        const RarLayout layout = start.kind == kind ? rar_layout(start, fd.get()) : RarLayout{};
        if (layout.headers_encrypted || layout.file_encrypted)
            return Failure{Failure::encrypted, encrypted_entries};
        if (!layout.volume || layout.volume_number != index)
            return Failure{Failure::damaged, *path + " is not volume " + std::to_string(index + 1) + " of the set"};
        if (!layout.ended)
            return Failure{Failure::damaged, "damaged package: volume " + *path + " is damaged or cut short"};
        volumes.push_back(*path);
        if (!layout.more_volumes)
            return std::nullopt;
    }
}

// What a RAR package's headers say before any data is decoded: encryption refuses it, and a
// volume brings in its whole set (`volumes` stays empty for a single archive).
std::optional<Failure> check_rar_headers(const std::string& package, const PackageStart& start, int fd,
                                         std::vector<std::string>& volumes)
{
    const RarLayout layout = rar_layout(start, fd);
    if (layout.headers_encrypted || layout.file_encrypted)
        return Failure{Failure::encrypted, encrypted_entries};
    if (layout.volume)
        return collect_volumes(package, start.kind, volumes);
    return std::nullopt;
}

// A zip entry whose local header alone says "encrypted" is damage, not encryption.
Failure encryption_failure(PackageKind kind, int package_fd, archive_entry* entry)
{
    struct stat st {};
    if (kind == PackageKind::zip && package_fd >= 0 && ::fstat(package_fd, &st) == 0
        && zip_directory_has_encrypted_entries(reader_at(package_fd), static_cast<std::uint64_t>(st.st_size)) == false) {
        const char* name = archive_entry_pathname(entry);
        return Failure{Failure::damaged, "damaged package: " + std::string(name != nullptr ? name : "an entry")
                                             + " is marked encrypted only in its local header"};
    }
    return Failure{Failure::encrypted, encrypted_entries};
}

bool is_rar(PackageKind kind) { return kind == PackageKind::rar4 || kind == PackageKind::rar5; }

bool is_plain_file(archive_entry* entry)
{
    return archive_entry_filetype(entry) == AE_IFREG && archive_entry_hardlink(entry) == nullptr;
}

} // namespace

Extractor::Extractor(std::string folder) : folder_(std::move(folder)), buffer_(buffer_size), writer_(buffer_size) {}

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
    const PackageStart start = read_start(package_file.get());
    const PackageKind kind = start.kind;
    if (kind == PackageKind::unknown)
        return unknown_kind;

    std::vector<std::string> volumes;
    if (is_rar(kind)) {
        if (auto failure = check_rar_headers(package, start, package_file.get(), volumes))
            return failure->message;
    }

    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec || !std::filesystem::is_directory(folder_, ec))
        return "cannot create folder " + folder_ + (ec ? ": " + ec.message() : ": not a folder");

    // libarchive does not check the CRC of stored RAR 4 files: we check every RAR 4 file.
    if (kind == PackageKind::rar4) {
        rar4_files_ = read_rar4_files(reader_at(package_file.get(), start.offset));
        checking_rar4_ = true;
    }
    const auto failure = volumes.empty()
                             ? extract_entries(kind, {package_file.get(), start.offset, static_cast<std::uint64_t>(package_stat.st_size)}, {})
                             : extract_entries(kind, {}, volumes);
    if (!failure)
        return std::nullopt;
    if (failure->kind != Failure::damaged || !is_rar(kind))
        return failure->message;
    // libarchive fails some sound RAR data; a second decoder that checks every file decides.
    const auto second = extract_with_unar(volumes.empty() ? package : volumes.front(), folder_);
    if (!second)
        return std::nullopt;
    return failure->message + " (unar: " + *second + ")";
}

std::optional<Failure> Extractor::extract_entries(PackageKind kind, const OpenPackage& package,
                                                  const std::vector<std::string>& volumes)
{
    const int package_fd = package.fd;
    std::string error;
    const Reader reader = new_reader(kind, error);
    if (!reader)
        return Failure{Failure::unsupported, error};
    archive* a = reader.get();
    std::vector<const char*> names;
    for (const std::string& volume : volumes)
        names.push_back(volume.c_str());
    names.push_back(nullptr);
    // Only a package past a stub needs the callbacks; libarchive's own reading serves the rest.
    OffsetSource past_stub(package_fd, package.offset, package.size);
    const int opened = package_fd < 0      ? archive_read_open_filenames(a, names.data(), package_block_size)
                       : package.offset > 0 ? open_from(a, past_stub)
                                            : archive_read_open_fd(a, package_fd, package_block_size);
    if (opened != ARCHIVE_OK)
        return damaged(a);

    for (entry_index_ = 0;; ++entry_index_) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(a, &entry);
        if (status == ARCHIVE_EOF)
            return std::nullopt;
        if (checking_rar4_ && (!rar4_files_ || entry_index_ >= rar4_files_->size()))
            return Failure{Failure::damaged, "damaged package: the file headers cannot be read"};
        // A warning (a name that would not convert, say) still leaves a readable entry.
        if (status < ARCHIVE_WARN)
            return damaged(a);
        if (archive_entry_is_encrypted(entry))
            return encryption_failure(kind, package_fd, entry);
        // A folder entry has no data, and some readers refuse to be asked for it.
        if (archive_entry_filetype(entry) == AE_IFDIR)
            continue;

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
            return Failure{Failure::damaged, "damaged package: an entry's name cannot be read"};
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
std::optional<Failure> Extractor::read_to_end(archive* a)
{
    for (;;) {
        const la_ssize_t got = archive_read_data(a, buffer_.data(), buffer_.size());
        if (got == 0)
            return std::nullopt;
        if (got < 0)
            return damaged(a);
    }
}

std::optional<Failure> Extractor::write_entry(archive* a, archive_entry* entry, const std::string& name)
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
            return Failure{Failure::output, system_error("cannot create", temp_path)};
    }
    Fd file(fd);
    TempFile temp(temp_path);
    // Declared after the file, so that on every way out the writer is done before the file
    // is closed and its temporary name removed.
    const WriterDone writer_done(writer_);
    writer_.start(file.get(), checking_rar4_);

    std::uint64_t written = 0;
    for (;;) {
        const std::span<char> block = writer_.fill();
        const la_ssize_t got = archive_read_data(a, block.data(), block.size());
        if (got == 0)
            break;
        // Negative covers a failed checksum too (reported as a warning at the entry's end).
        if (got < 0)
            return damaged(a);
        writer_.write(static_cast<std::size_t>(got));
        written += static_cast<std::uint64_t>(got);
        if (writer_.failed())
            break;
    }
    const MemberWriter::Result out = writer_.finish();
    if (out.error != 0) {
        errno = out.error;
        return Failure{Failure::output, system_error("cannot write", target)};
    }
    // Not every format checks its data against the declared size (a zip entry may declare
    // gigabytes and hold five bytes): a file of another size is damage, never a result.
    if (archive_entry_size_is_set(entry) && written != static_cast<std::uint64_t>(archive_entry_size(entry)))
        return Failure{Failure::damaged, "damaged package: " + name + " holds " + std::to_string(written)
                                             + " bytes but declares " + std::to_string(archive_entry_size(entry))};
    if (checking_rar4_ && out.crc != (*rar4_files_)[entry_index_].crc)
        return Failure{Failure::damaged, "damaged package: " + name + " fails its checksum"};
    if (archive_entry_mtime_is_set(entry)) {
        const timespec times[2] = {{0, UTIME_OMIT}, {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)}};
        ::futimens(file.get(), times);
    }
    if (!file.close() || !temp.rename_to(target))
        return Failure{Failure::output, system_error("cannot write", target)};
    return std::nullopt;
}

} // namespace archiver
