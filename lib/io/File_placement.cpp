#include "lib/io/File_placement.h"

#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"

#include <cerrno>
#include <cstring>
#include <set>

namespace lib::io {

namespace {

std::string folder_or_dot(const std::string& path)
{
    const std::string folder = folder_of(path);
    return folder.empty() ? std::string(".") : folder;
}

void copy_contents(const std::string& from, OSFile& to)
{
    OSFile source;
    source.open(from, open_read, false);
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const std::size_t got = source.read(buffer.data(), buffer.size());
        to.write(buffer.data(), got);
        if (got < buffer.size())
            break;
    }
}

// Whether a rename can move the file at `fd` to the folder of `to`.
bool on_one_file_system(int fd, const std::string& to)
{
    platform::FileIdentity file;
    platform::FileIdentity folder;
    return platform::read_identity(fd, file) && platform::read_path_identity(folder_or_dot(to), folder)
        && file.device == folder.device;
}

// Whether the file at `target` holds exactly the bytes of the open file `fd`.
bool same_contents(int fd, const std::string& target)
{
    platform::FileIdentity source;
    platform::FileIdentity placed;
    if (!platform::read_identity(fd, source) || !platform::read_path_identity(target, placed)
        || source.size != placed.size || (source.device == placed.device && source.inode == placed.inode))
        return false;
    const platform::OpenResult other = platform::open_regular_file(target, platform::OpenAccess::read);
    if (!other.fd.valid())
        return false;
    std::vector<char> a(1 << 16);
    std::vector<char> b(a.size());
    for (std::uint64_t at = 0; at < source.size;) {
        const std::int64_t got = platform::read_at(fd, a.data(), a.size(), at);
        if (got <= 0 || platform::read_at(other.fd.get(), b.data(), static_cast<std::size_t>(got), at) != got
            || std::memcmp(a.data(), b.data(), static_cast<std::size_t>(got)) != 0)
            return false;
        at += static_cast<std::uint64_t>(got);
    }
    return true;
}

} // namespace

void copy_file_replacing(const std::string& from, const std::string& to)
{
    FileReplacement replacement(to);
    {
        OSFile copy;
        copy.open(replacement.temporary_path(), open_write, false);
        copy_contents(from, copy);
    }
    replacement.commit();
}

void place_file(const std::string& from, const std::string& to)
{
    FilePlacement placement;
    placement.add(from, to, FilePlacement::Existing::replace);
    for (const FilePlacement::Outcome& outcome : placement.commit()) {
        if (outcome.error)
            std::rethrow_exception(outcome.error);
    }
}

FilePlacement::FilePlacement() = default;
FilePlacement::~FilePlacement() = default;

void FilePlacement::add(const std::string& from, const std::string& to, Existing existing)
{
    Staged staged;
    staged.from = from;
    staged.to = to;
    staged.existing = existing;
    platform::OpenResult opened = platform::open_regular_file(from, platform::OpenAccess::read);
    if (!opened.fd.valid())
        throw FileError(text::cannot_open, from, opened.error);
    // A package repeats files the store has already (the identity file, unchanged lists):
    // replacing one by the same bytes would cost a flush and change nothing.
    if (existing == Existing::replace && same_contents(opened.fd.get(), to))
        return;
    if (on_one_file_system(opened.fd.get(), to))
        staged.fd = std::move(opened.fd);
    else
        copy_beside_target(staged);
    staged_.push_back(std::move(staged));
}

void FilePlacement::flush_with(const std::string& path)
{
    Staged staged;
    staged.from = path;
    staged.to = path;
    staged.flush_only = true;
    platform::OpenResult opened = platform::open_regular_file(path, platform::OpenAccess::read);
    if (!opened.fd.valid())
        throw FileError(text::cannot_open, path, opened.error);
    staged.fd = std::move(opened.fd);
    staged_.push_back(std::move(staged));
}

// The copy keeps its writer's lock until it is renamed, so that a run clearing the folder
// of leftovers passes over it.
void FilePlacement::copy_beside_target(Staged& staged)
{
    staged.copy = std::make_unique<FileReplacement>(staged.to);
    OSFile copy;
    copy.open(staged.copy->temporary_path(), open_write, false);
    copy_contents(staged.from, copy);
    platform::OpenResult opened = platform::open_regular_file(staged.copy->temporary_path(), platform::OpenAccess::read);
    if (!opened.fd.valid())
        throw FileError(text::cannot_write, staged.copy->temporary_path(), opened.error);
    platform::try_lock(opened.fd.get(), platform::LockKind::exclusive);
    staged.fd = std::move(opened.fd);
}

void FilePlacement::rename_into_place(Staged& staged, Outcome& outcome)
{
    const bool replace = staged.existing == Existing::replace;
    if (staged.copy) {
        outcome.placed = staged.copy->commit_flushed(replace);
    }
    else {
        const int error = replace ? platform::rename_path(staged.from, staged.to)
                                  : platform::rename_no_replace(staged.from, staged.to);
        if (error != 0 && !(error == EEXIST && !replace))
            throw FileError(text::cannot_write, staged.to, error);
        outcome.placed = error == 0;
    }
    outcome.existed = !outcome.placed;
}

std::vector<FilePlacement::Outcome> FilePlacement::commit()
{
    std::vector<Staged> staged = std::move(staged_);
    staged_.clear();
    std::vector<Outcome> outcomes(staged.size());
    std::vector<int> fds;
    for (std::size_t i = 0; i < staged.size(); ++i) {
        outcomes[i].from = staged[i].from;
        outcomes[i].to = staged[i].to;
        fds.push_back(staged[i].fd.get());
    }
    // A failed flush leaves that file's data uncertain; the others' flushes are retried
    // one by one, so that only the files that failed stay out.
    std::size_t failed = 0;
    if (!platform::sync_data_together(fds, failed)) {
        for (std::size_t i = 0; i < staged.size(); ++i) {
            if (!platform::sync_data(fds[i]))
                outcomes[i].error = std::make_exception_ptr(FileError(text::cannot_write, staged[i].to, errno));
        }
    }
    std::set<std::string> folders;
    for (std::size_t i = 0; i < staged.size(); ++i) {
        if (outcomes[i].error || staged[i].flush_only)
            continue;
        try {
            rename_into_place(staged[i], outcomes[i]);
            staged[i].fd.reset();
            if (outcomes[i].placed)
                folders.insert(folder_or_dot(staged[i].to));
        }
        catch (const std::exception&) {
            outcomes[i].error = std::current_exception();
        }
    }
    for (const std::string& folder : folders)
        platform::sync_folder(folder);
    return outcomes;
}

} // namespace lib::io
