#pragma once
// Packages for the extractor's tests, written with libarchive's own writer, and a runner for
// the built 7za program. Names are given in UTF-8; the test process must run in a UTF-8
// LC_CTYPE for the writer to convert them.

#include "core/support/TempDir.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

namespace archiver_test {

struct Entry {
    Entry(std::string path_, std::string data_, unsigned type_ = AE_IFREG, std::string symlink_ = {})
        : path(std::move(path_)), data(std::move(data_)), type(type_), symlink(std::move(symlink_))
    {
    }

    std::string path;
    std::string data;
    unsigned type = AE_IFREG;
    std::string symlink; // target, for AE_IFLNK
};

struct Format {
    std::string label;  // a test name suffix
    std::string writer; // "7zip" or "zip"
    std::vector<std::pair<std::string, std::string>> options;
};

inline void PrintTo(const Format& format, std::ostream* os) { *os << format.label; }

inline void write_archive(const std::string& path, const Format& format, const std::vector<Entry>& entries,
                          const char* passphrase = nullptr)
{
    struct Deleter {
        void operator()(archive* a) const { archive_write_free(a); }
    };
    const std::unique_ptr<archive, Deleter> writer(archive_write_new());
    archive* a = writer.get();
    const auto check = [a](int status) {
        if (status != ARCHIVE_OK)
            throw std::runtime_error(std::string("libarchive writer: ") + archive_error_string(a));
    };
    check(format.writer == "7zip" ? archive_write_set_format_7zip(a) : archive_write_set_format_zip(a));
    for (const auto& [key, value] : format.options)
        check(archive_write_set_format_option(a, format.writer.c_str(), key.c_str(), value.c_str()));
    if (passphrase != nullptr)
        check(archive_write_set_passphrase(a, passphrase));
    check(archive_write_open_filename(a, path.c_str()));
    for (const Entry& e : entries) {
        const std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(entry.get(), e.path.c_str());
        archive_entry_set_filetype(entry.get(), e.type);
        archive_entry_set_perm(entry.get(), e.type == AE_IFDIR ? 0755 : 0644);
        archive_entry_set_mtime(entry.get(), 1700000000, 0);
        if (e.type == AE_IFLNK)
            archive_entry_set_symlink(entry.get(), e.symlink.c_str());
        if (e.type == AE_IFREG)
            archive_entry_set_size(entry.get(), static_cast<la_int64_t>(e.data.size()));
        check(archive_write_header(a, entry.get()));
        if (!e.data.empty() && archive_write_data(a, e.data.data(), e.data.size()) != static_cast<la_ssize_t>(e.data.size()))
            throw std::runtime_error(std::string("libarchive writer: ") + archive_error_string(a));
    }
    check(archive_write_close(a));
}

struct RunResult {
    int status = -1; // exit status, -1 when not a normal exit
    std::string errors;
};

// Runs 7za with `arguments` as its argument list; standard error is collected in `errors_file`.
inline RunResult run_7za(const std::vector<std::string>& arguments, const std::string& errors_file)
{
    std::vector<char*> argv;
    std::string program = ARCHIVER_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.errors = testsupport::read_file(errors_file);
    return result;
}

} // namespace archiver_test
