#include "platform/File.h"

#include "platform/Fault_seam.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

int UniqueFd::release()
{
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

namespace {

int open_flags(OpenAccess access)
{
    // O_NONBLOCK keeps an open of a pipe from hanging; it is cleared for regular files.
    const int common = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    switch (access) {
    case OpenAccess::read:
        return common | O_RDONLY;
    case OpenAccess::write_keep:
        return common | O_WRONLY | O_CREAT;
    case OpenAccess::read_write_keep:
        return common | O_RDWR | O_CREAT;
    case OpenAccess::read_write_existing:
        return common | O_RDWR;
    }
    return common | O_RDONLY;
}

FileTime to_file_time(const struct timespec& ts)
{
    constexpr std::int64_t ticks_1601_to_1970 = 116444736000000000LL;
    return ticks_1601_to_1970 + static_cast<std::int64_t>(ts.tv_sec) * 10000000LL + ts.tv_nsec / 100;
}

FileTimes times_of(const struct stat& st)
{
    FileTimes times;
    times.creation = to_file_time(st.st_ctim);
    times.last_access = to_file_time(st.st_atim);
    times.last_write = to_file_time(st.st_mtim);
    return times;
}

void add_birth_time(int dirfd, const char* path, int flags, FileTimes& times)
{
    struct statx sx {};
    if (::statx(dirfd, path, flags, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME)) {
        struct timespec ts {};
        ts.tv_sec = sx.stx_btime.tv_sec;
        ts.tv_nsec = sx.stx_btime.tv_nsec;
        times.creation = to_file_time(ts);
    }
}

unsigned attributes_of(const std::string& name, const struct stat& st, bool is_link)
{
    unsigned attributes = 0;
    if (S_ISDIR(st.st_mode))
        attributes |= attr_directory;
    else
        attributes |= attr_archive;
    if (!name.empty() && name[0] == '.')
        attributes |= attr_hidden;
    if ((st.st_mode & S_IWUSR) == 0)
        attributes |= attr_readonly;
    if (is_link)
        attributes |= attr_link;
    return attributes;
}

} // namespace

OpenResult open_regular_file(const std::string& path, OpenAccess access)
{
    OpenResult result;
    int fd;
    do {
        fd = ::open(path.c_str(), open_flags(access), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    UniqueFd owned(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        result.error = errno;
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return result;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) < 0) {
        result.error = errno;
        return result;
    }
    result.fd = std::move(owned);
    return result;
}

bool is_missing_file_error(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

bool try_lock(int fd, LockKind kind)
{
    const int operation = (kind == LockKind::shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool lock_with_retries(int fd, LockKind kind, int attempts, std::chrono::milliseconds pause)
{
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (try_lock(fd, kind))
            return true;
        if (attempt < attempts)
            std::this_thread::sleep_for(pause);
    }
    return false;
}

bool lock_waiting(int fd, LockKind kind)
{
    const int operation = kind == LockKind::shared ? LOCK_SH : LOCK_EX;
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void unlock(int fd)
{
    ::flock(fd, LOCK_UN);
}

bool resize_file(int fd, std::uint64_t size)
{
    int rc;
    do {
        rc = ::ftruncate(fd, static_cast<off_t>(size));
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

std::int64_t file_size(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return -1;
    return st.st_size;
}

void start_writeback(int fd)
{
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool sync_data(int fd)
{
    if (const int error = fault::injected(fault::flush, fd); error != 0) {
        errno = error;
        return false;
    }
    int rc;
    do {
        rc = ::fdatasync(fd);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

int sync_folder(const std::string& folder)
{
    const std::string path = folder.empty() ? std::string(".") : folder;
    if (const int error = fault::injected(fault::folder_flush, path); error != 0)
        return error;
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return errno;
    int rc;
    do {
        rc = ::fsync(fd.get());
    } while (rc != 0 && errno == EINTR);
    // A file system that cannot flush folders (some network ones) keeps its names anyway.
    return rc == 0 || errno == EINVAL || errno == EROFS ? 0 : errno;
}

std::vector<int> sync_data_each(const std::vector<int>& fds)
{
    for (const int fd : fds)
        start_writeback(fd);
    std::vector<int> errors(fds.size(), 0);
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (!sync_data(fds[i]))
            errors[i] = errno;
    }
    return errors;
}

int check_close(int fd)
{
    if (const int error = fault::injected(fault::close, fd); error != 0)
        return error;
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return errno;
    // Whatever close says, the descriptor is gone: close is never repeated.
    return ::close(copy) == 0 || errno == EINTR ? 0 : errno;
}

std::int64_t read_at(int fd, void* buffer, std::size_t count, std::uint64_t offset)
{
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, count, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

std::int64_t write_at(int fd, const void* buffer, std::size_t count, std::uint64_t offset)
{
    if (const int error = fault::injected(fault::write, fd); error != 0) {
        errno = error;
        return -1;
    }
    for (;;) {
        const ssize_t put = ::pwrite(fd, buffer, count, static_cast<off_t>(offset));
        if (put >= 0 || errno != EINTR)
            return put;
    }
}

int hold_record_lock(int fd)
{
    if (const int error = fault::injected(fault::lock, fd); error != 0)
        return error;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    int rc;
    do {
        rc = ::fcntl(fd, F_OFD_SETLKW, &lock);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0 || errno == ENOLCK || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
        return 0;
    return errno;
}

int try_record_lock(int fd, LockKind kind)
{
    struct flock lock {};
    lock.l_type = kind == LockKind::shared ? F_RDLCK : F_WRLCK;
    lock.l_whence = SEEK_SET;
    int rc;
    do {
        rc = ::fcntl(fd, F_OFD_SETLK, &lock);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0)
        return 0;
    return errno == EACCES ? EAGAIN : errno;
}

namespace {

std::int64_t ns_of(const struct timespec& ts)
{
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

FileIdentity identity_of(const struct stat& st)
{
    FileIdentity identity;
    identity.device = static_cast<std::uint64_t>(st.st_dev);
    identity.inode = static_cast<std::uint64_t>(st.st_ino);
    identity.size = static_cast<std::uint64_t>(st.st_size);
    identity.modified_ns = ns_of(st.st_mtim);
    identity.changed_ns = ns_of(st.st_ctim);
    return identity;
}

} // namespace

bool read_identity(int fd, FileIdentity& identity)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    identity = identity_of(st);
    return true;
}

bool read_path_identity(const std::string& path, FileIdentity& identity)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    identity = identity_of(st);
    return true;
}

bool read_file_times(int fd, FileTimes& times)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    times = times_of(st);
    add_birth_time(fd, "", AT_EMPTY_PATH, times);
    return true;
}

bool read_path_times(const std::string& path, FileTimes& times)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    times = times_of(st);
    add_birth_time(AT_FDCWD, path.c_str(), 0, times);
    return true;
}

std::vector<DirEntry> list_directory(const std::string& folder)
{
    std::vector<DirEntry> entries;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
    if (!dir)
        return entries;
    const int dirfd = ::dirfd(dir.get());
    while (const struct dirent* item = ::readdir(dir.get())) {
        const std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::fstatat(dirfd, item->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const bool is_link = S_ISLNK(st.st_mode);
        if (is_link) {
            struct stat target {};
            if (::fstatat(dirfd, item->d_name, &target, 0) == 0)
                st = target;
            else
                st.st_size = 0;
        }
        DirEntry entry;
        entry.name = name;
        entry.attributes = attributes_of(name, st, is_link);
        entry.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
        entry.times = times_of(st);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<NamedEntry> list_names(const std::string& folder)
{
    std::vector<NamedEntry> entries;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
    if (!dir)
        return entries;
    const int dirfd = ::dirfd(dir.get());
    while (const struct dirent* item = ::readdir(dir.get())) {
        const std::string_view name = item->d_name;
        if (name == "." || name == "..")
            continue;
        NamedEntry entry;
        entry.name = name;
        unsigned char type = item->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(dirfd, item->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISLNK(st.st_mode) ? DT_LNK : S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
        }
        entry.link = type == DT_LNK;
        if (entry.link) {
            struct stat target {};
            entry.folder = ::fstatat(dirfd, item->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
        }
        else {
            entry.folder = type == DT_DIR;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

namespace {

unsigned read_umask()
{
    // /proc reports the mask; umask(2) could only read it by changing it under other threads.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<unsigned>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 022;
}

} // namespace

unsigned current_umask()
{
    // Read once: the program never changes its mask, and every file a package brings asks.
    static const unsigned mask = read_umask();
    return mask;
}

PathKind path_kind(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return PathKind::missing;
    if (S_ISREG(st.st_mode))
        return PathKind::regular;
    return S_ISDIR(st.st_mode) ? PathKind::folder : PathKind::other;
}

int permission_bits(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

namespace {

int result_of(int status)
{
    return status == 0 ? 0 : errno;
}

} // namespace

int remove_file(const std::string& path)
{
    return result_of(::unlink(path.c_str()));
}

int remove_folder(const std::string& path)
{
    return result_of(::rmdir(path.c_str()));
}

int make_folder(const std::string& path)
{
    return result_of(::mkdir(path.c_str(), 0777));
}

int rename_path(const std::string& from, const std::string& to)
{
    if (const int error = fault::injected(fault::rename, to); error != 0)
        return error;
    return result_of(::rename(from.c_str(), to.c_str()));
}

int rename_no_replace(const std::string& from, const std::string& to)
{
    if (const int error = fault::injected(fault::rename, to); error != 0)
        return error;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno;
    ::unlink(from.c_str());
    return 0;
}

int set_permission_bits(int fd, unsigned mode)
{
    return result_of(::fchmod(fd, static_cast<mode_t>(mode)));
}

UniqueFile create_unique_file(const std::string& pattern)
{
    UniqueFile file;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    file.fd.reset(::mkostemp(name.data(), O_CLOEXEC));
    if (!file.fd.valid()) {
        file.error = errno;
        return file;
    }
    file.path = name.data();
    return file;
}

OpenResult open_lock_file(const std::string& path)
{
    OpenResult result;
    result.fd.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!result.fd.valid())
        result.error = errno;
    return result;
}

OpenResult open_read_no_follow(const std::string& path)
{
    OpenResult result;
    result.fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!result.fd.valid())
        result.error = errno;
    return result;
}

std::int64_t read_some(int fd, void* buffer, std::size_t count)
{
    for (;;) {
        const ssize_t got = ::read(fd, buffer, count);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

std::int64_t write_some(int fd, const void* buffer, std::size_t count)
{
    if (const int error = fault::injected(fault::write, fd); error != 0) {
        errno = error;
        return -1;
    }
    for (;;) {
        const ssize_t put = ::write(fd, buffer, count);
        if (put >= 0 || errno != EINTR)
            return put;
    }
}

std::int64_t seek(int fd, std::int64_t offset, SeekFrom from)
{
    const int whence = from == SeekFrom::begin ? SEEK_SET : from == SeekFrom::current ? SEEK_CUR : SEEK_END;
    const off_t position = ::lseek(fd, static_cast<off_t>(offset), whence);
    return position < 0 ? -1 : static_cast<std::int64_t>(position);
}

// The user reads these in journals and error boxes: our own Russian sentences for what a
// file system says, the system's own (English) text only for the rare rest.
std::string error_text(int error)
{
    static const std::pair<int, const char*> texts[] = {
        {ENOENT, "нет такого файла или папки"},
        {ENOTDIR, "часть пути — не папка"},
        {EISDIR, "это папка"},
        {EACCES, "нет прав доступа"},
        {EPERM, "операция не разрешена"},
        {EEXIST, "такой файл уже есть"},
        {ENOSPC, "нет места на диске"},
        {EDQUOT, "превышена дисковая квота"},
        {EIO, "ошибка ввода-вывода (диск или сетевая папка)"},
        {EROFS, "файловая система только для чтения"},
        {EBUSY, "файл или папка заняты"},
        {EWOULDBLOCK, "файл занят другой программой"},
        {ETXTBSY, "файл занят"},
        {ENOTEMPTY, "папка не пуста"},
        {EXDEV, "файлы на разных файловых системах"},
        {ENAMETOOLONG, "слишком длинное имя"},
        {ELOOP, "слишком много ссылок в пути"},
        {EMFILE, "открыто слишком много файлов"},
        {ENFILE, "в системе открыто слишком много файлов"},
        {ENOMEM, "не хватает памяти"},
        {EINVAL, "недопустимый параметр"},
        {ENOLCK, "блокировки файлов недоступны"},
        {ETIMEDOUT, "время ожидания истекло"},
        {ESTALE, "файл на сетевой папке устарел"},
        {EFBIG, "файл слишком велик"},
        {EBADF, "неверный дескриптор файла"},
        {ECONNREFUSED, "в соединении отказано"},
        {ENOTCONN, "нет соединения"},
        {EINTR, "прервано"},
    };
    for (const auto& [code, text] : texts) {
        if (code == error)
            return text;
    }
    char buffer[256] = {};
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = ::strerror_r(error, buffer, sizeof buffer);
    return "системная ошибка " + std::to_string(error) + (text != nullptr ? std::string(" (") + text + ")" : "");
}

} // namespace platform
