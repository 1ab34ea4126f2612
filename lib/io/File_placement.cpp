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

// Copies through the descriptor made with the temporary file, the one its flush will use,
// so that a write-back error of the copy is reported there.
void copy_contents(const std::string& from, const FileReplacement& to)
{
    OSFile source;
    source.open(from, open_read, false);
    std::vector<char> buffer(1 << 20);
    std::uint64_t at = 0;
    for (;;) {
        const std::size_t got = source.read(buffer.data(), buffer.size());
        for (std::size_t done = 0; done < got;) {
            const std::int64_t put = platform::write_at(to.fd(), buffer.data() + done, got - done, at);
            if (put <= 0)
                throw FileError(text::cannot_write, to.temporary_path(), put < 0 ? errno : ENOSPC);
            done += static_cast<std::size_t>(put);
            at += static_cast<std::uint64_t>(put);
        }
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
    copy_contents(from, replacement);
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

void FilePlacement::add_appended(std::unique_ptr<LockedFile> file, std::function<void()> on_flushed)
{
    Staged staged;
    staged.from = file->path();
    staged.to = file->path();
    staged.appended = std::move(file);
    staged.on_flushed = std::move(on_flushed);
    staged_.push_back(std::move(staged));
}

void FilePlacement::add_new_folder(const std::string& folder)
{
    new_folders_.insert(folder);
}

// The copy keeps the lock of its temporary file, which keeps a sweep of leftovers away,
// until it is renamed.
void FilePlacement::copy_beside_target(Staged& staged)
{
    staged.copy = std::make_unique<FileReplacement>(staged.to);
    copy_contents(staged.from, *staged.copy);
}

// Two mounts of one file system (a bind mount of the store) share the device, yet a rename
// between them fails: the file is copied beside its target after all, and flushed there.
void FilePlacement::copy_after_failed_move(Staged& staged, Outcome& outcome)
{
    copy_beside_target(staged);
    const int fd = staged.copy->fd();
    const int error = platform::sync_data(fd) ? platform::check_close(fd) : errno;
    if (error != 0)
        throw FileError(text::cannot_write, staged.copy->temporary_path(), error);
    outcome.placed = staged.copy->commit_flushed(staged.existing == Existing::replace);
    outcome.existed = !outcome.placed;
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
        if (error == EXDEV) {
            copy_after_failed_move(staged, outcome);
            return;
        }
        if (error != 0 && !(error == EEXIST && !replace))
            throw FileError(text::cannot_write, staged.to, error);
        outcome.placed = error == 0;
    }
    outcome.existed = !outcome.placed;
}

// Each file is flushed exactly once: Linux reports a write-back error to one caller only,
// so a second flush could say "done" of data that never reached the disk. A file server
// reports some errors only at close, asked here while the descriptor (and its lock) stays.
void FilePlacement::flush_files(std::vector<Staged>& staged, std::vector<Outcome>& outcomes)
{
    std::vector<int> fds;
    for (const Staged& file : staged)
        fds.push_back(file.flush_fd());
    const std::vector<int> errors = platform::sync_data_each(fds);
    for (std::size_t i = 0; i < staged.size(); ++i) {
        const int error = errors[i] != 0 ? errors[i] : platform::check_close(fds[i]);
        if (error != 0) {
            const std::string& failed = staged[i].copy ? staged[i].copy->temporary_path() : staged[i].from;
            outcomes[i].error = std::make_exception_ptr(FileError(text::cannot_write, failed, error));
            staged[i].appended.reset(); // cuts the tail off again, under the lock it still holds
            staged[i].copy.reset();     // removes the copy
        }
        else if (staged[i].appended) {
            staged[i].appended->flushed();
        }
    }
}

// A folder that received a file or a new folder is flushed once; when that fails, no file
// placed below it is sure to keep its name, and each is reported. An appended file's name
// was on disk before: its flushed records stand.
void FilePlacement::flush_folders(const std::vector<Staged>& staged, std::vector<Outcome>& outcomes)
{
    std::set<std::string> folders;
    for (std::size_t i = 0; i < staged.size(); ++i) {
        if (outcomes[i].placed)
            folders.insert(folder_or_dot(staged[i].to));
    }
    for (const std::string& made : new_folders_)
        folders.insert(folder_or_dot(without_slash(made)));
    new_folders_.clear();
    for (const std::string& folder : folders) {
        const int error = platform::sync_folder(folder);
        if (error == 0)
            continue;
        const std::string below = with_slash(folder);
        for (std::size_t i = 0; i < staged.size(); ++i) {
            if (!outcomes[i].error && !staged[i].appended && staged[i].to.starts_with(below))
                outcomes[i].error = std::make_exception_ptr(FileError(text::cannot_write, folder, error));
        }
    }
}

std::vector<FilePlacement::Outcome> FilePlacement::commit()
{
    std::vector<Staged> staged = std::move(staged_);
    staged_.clear();
    std::vector<Outcome> outcomes(staged.size());
    for (std::size_t i = 0; i < staged.size(); ++i) {
        outcomes[i].from = staged[i].from;
        outcomes[i].to = staged[i].to;
    }
    flush_files(staged, outcomes);
    for (std::size_t i = 0; i < staged.size(); ++i) {
        if (outcomes[i].error || staged[i].appended)
            continue;
        try {
            rename_into_place(staged[i], outcomes[i]);
        }
        catch (const std::exception&) {
            outcomes[i].error = std::current_exception();
        }
        staged[i].fd.reset();
    }
    flush_folders(staged, outcomes);
    for (std::size_t i = 0; i < staged.size(); ++i) {
        if (!outcomes[i].error && staged[i].on_flushed)
            staged[i].on_flushed();
    }
    return outcomes;
}

} // namespace lib::io
