#include "lib/io/File_replacement.h"

#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lib::io {

namespace {

// A hidden name beside the target, so that folder listings pass over it.
std::string temporary_template(const std::string& target)
{
    const std::string folder = folder_of(target);
    const std::string name = target.substr(folder.size());
    return folder + "." + name + ".tmp-XXXXXX";
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
