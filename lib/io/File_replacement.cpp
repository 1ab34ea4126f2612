#include "lib/io/File_replacement.h"

#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lib::io {

namespace {

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
    std::string pattern = temporary_template(target_);
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const platform::UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.valid())
        throw FileError(text::cannot_open, pattern, errno);
    temporary_ = name.data();
}

FileReplacement::~FileReplacement()
{
    if (!committed_)
        ::unlink(temporary_.c_str());
}

void FileReplacement::commit()
{
    const platform::UniqueFd fd(::open(temporary_.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.valid())
        throw FileError(text::cannot_write, temporary_, errno);
    if (durability_ == Durability::synced && !platform::sync_data(fd.get()))
        throw FileError(text::cannot_write, temporary_, errno);
    // A scratch file usually moves into the store next, where it is flushed: start now.
    if (durability_ == Durability::scratch)
        platform::start_writeback(fd.get());

    struct stat old {};
    const mode_t mode = ::stat(target_.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~platform::current_umask());
    ::fchmod(fd.get(), mode);

    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw FileError(text::cannot_write, target_, errno);
    committed_ = true;
    if (durability_ == Durability::synced)
        platform::sync_folder(folder_or_dot(target_));
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
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (const platform::DirEntry& entry : platform::list_directory(base)) {
        if ((entry.attributes & (platform::attr_directory | platform::attr_link)) || !is_replacement_leftover(entry.name))
            continue;
        const std::string path = base + entry.name;
        const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        // A writer of this moment holds its file locked: that one is not a leftover.
        if (fd.valid() && platform::try_lock(fd.get(), platform::LockKind::exclusive))
            ::unlink(path.c_str());
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

} // namespace lib::io
