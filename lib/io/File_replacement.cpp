#include "lib/io/File_replacement.h"

#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"

#include "platform/File.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace lib::io {

namespace {

// A smaller scratch file is flushed at placement in a few milliseconds anyway, while one
// written back now and then dropped (merged into a well's file, or equal to the store's
// copy) makes its removal wait for the journal to free its blocks: 1 to 5 ms each on ext4.
constexpr std::int64_t scratch_writeback_from = 4 * 1024 * 1024;

constexpr std::string_view temporary_infix = ".tmp-";
constexpr std::size_t temporary_suffix = 6; // the XXXXXX that mkostemp fills

// A hidden name beside the target, so that folder listings pass over it.
std::string temporary_template(const std::string& target)
{
    const std::string folder = folder_of(target);
    const std::string name = target.substr(folder.size());
    return folder + "." + name + std::string(temporary_infix) + std::string(temporary_suffix, 'X');
}

bool is_temporary_suffix_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string folder_or_dot(const std::string& path)
{
    const std::string folder = folder_of(path);
    return folder.empty() ? std::string(".") : folder;
}

} // namespace

FileReplacement::FileReplacement(std::string target, Durability durability)
    : target_(std::move(target)), durability_(durability)
{
    const std::string pattern = temporary_template(target_);
    platform::UniqueFile file = platform::create_unique_file(pattern);
    if (!file.fd.valid())
        throw FileError(text::cannot_open, pattern, file.error);
    temporary_ = std::move(file.path);
    fd_ = std::move(file.fd);
    // While this writer lives its file is no leftover: a sweep, of this machine or of
    // another that shares the folder, passes over a file it cannot lock.
    platform::try_record_lock(fd_.get(), platform::LockKind::exclusive);
}

FileReplacement::~FileReplacement()
{
    if (!committed_)
        platform::remove_file(temporary_);
}

// The flush goes through the descriptor made with the file, before anything was written to
// it, so that a write-back error of any of its writers is reported here.
void FileReplacement::commit()
{
    if (durability_ == Durability::synced) {
        if (!platform::sync_data(fd_.get()))
            throw FileError(text::cannot_write, temporary_, errno);
        if (const int error = platform::check_close(fd_.get()); error != 0)
            throw FileError(text::cannot_write, temporary_, error);
    }
    else if (platform::file_size(fd_.get()) >= scratch_writeback_from) {
        // A large scratch file usually moves into the store next, where it is flushed: start
        // now, while the package's other files are written.
        platform::start_writeback(fd_.get());
    }
    take_permissions_of_target();
    if (const int error = platform::rename_path(temporary_, target_); error != 0)
        throw FileError(text::cannot_write, target_, error);
    committed_ = true;
    if (durability_ == Durability::synced) {
        if (const int error = platform::sync_folder(folder_or_dot(target_)); error != 0)
            throw FileError(text::cannot_write, target_, error);
    }
}

void FileReplacement::take_permissions_of_target() const
{
    const int old_mode = platform::permission_bits(target_);
    platform::set_permission_bits(fd_.get(), old_mode >= 0 ? static_cast<unsigned>(old_mode) : (0666u & ~platform::current_umask()));
}

bool FileReplacement::commit_flushed(bool replace_existing)
{
    take_permissions_of_target();
    const int error = replace_existing ? platform::rename_path(temporary_, target_)
                                       : platform::rename_no_replace(temporary_, target_);
    if (error == EEXIST && !replace_existing)
        return false;
    if (error != 0)
        throw FileError(text::cannot_write, target_, error);
    committed_ = true;
    return true;
}

bool is_replacement_leftover(std::string_view name)
{
    const std::size_t fixed = 1 + temporary_infix.size() + temporary_suffix;
    if (name.size() <= fixed || name.front() != '.')
        return false;
    const std::string_view suffix = name.substr(name.size() - temporary_suffix);
    const std::string_view infix = name.substr(name.size() - temporary_suffix - temporary_infix.size(), temporary_infix.size());
    return infix == temporary_infix && std::all_of(suffix.begin(), suffix.end(), is_temporary_suffix_char);
}

void remove_replacement_leftovers(const std::string& folder)
{
    const std::string base = lib::with_slash(folder);
    for (const platform::DirEntry& entry : platform::list_directory(base)) {
        if ((entry.attributes & (platform::attr_directory | platform::attr_link)) || !is_replacement_leftover(entry.name))
            continue;
        const std::string path = base + entry.name;
        const platform::OpenResult opened = platform::open_read_no_follow(path);
        // A writer of this moment holds its file locked: that one is not a leftover. The
        // record lock holds between machines; the local lock is what older writers took.
        if (opened.fd.valid() && platform::try_record_lock(opened.fd.get(), platform::LockKind::shared) != EAGAIN
            && platform::try_lock(opened.fd.get(), platform::LockKind::exclusive))
            platform::remove_file(path);
    }
}

std::string read_whole_file(const std::string& path)
{
    OSFile file;
    file.open(path, open_read, false);
    std::string contents;
    char buffer[64 * 1024];
    for (;;) {
        const std::size_t got = file.read(buffer, sizeof buffer);
        contents.append(buffer, got);
        if (got < sizeof buffer)
            break;
    }
    return contents;
}

void replace_file_contents(const std::string& path, std::string_view contents, Durability durability)
{
    FileReplacement replacement(path, durability);
    OSFile file;
    file.open(replacement.temporary_path(), open_write, false);
    file.write(contents.data(), contents.size());
    file.close();
    replacement.commit();
}

namespace {

void write_all_at(int fd, const std::string& path, std::string_view contents, std::uint64_t offset)
{
    for (std::size_t written = 0; written < contents.size();) {
        const std::int64_t count =
            platform::write_at(fd, contents.data() + written, contents.size() - written, offset + written);
        if (count <= 0)
            throw FileError(text::cannot_write, path, count < 0 ? errno : ENOSPC);
        written += static_cast<std::size_t>(count);
    }
}

platform::OpenResult open_for_writing_in_place(const std::string& path)
{
    platform::OpenResult opened = platform::open_regular_file(path, platform::OpenAccess::write_keep);
    if (!opened.fd.valid())
        throw FileError(text::cannot_write, path, opened.error);
    return opened;
}

} // namespace

void overwrite_in_place(const std::string& path, std::string_view contents)
{
    const platform::OpenResult opened = open_for_writing_in_place(path);
    const int fd = opened.fd.get();
    write_all_at(fd, path, contents, 0);
    if (!platform::resize_file(fd, contents.size()))
        throw FileError(text::cannot_write, path, errno);
    if (const int error = platform::check_close(fd); error != 0)
        throw FileError(text::cannot_write, path, error);
}

void write_in_place_at(const std::string& path, std::uint64_t offset, std::string_view contents)
{
    const platform::OpenResult opened = open_for_writing_in_place(path);
    write_all_at(opened.fd.get(), path, contents, offset);
    if (const int error = platform::check_close(opened.fd.get()); error != 0)
        throw FileError(text::cannot_write, path, error);
}

} // namespace lib::io
