#pragma once
// Packages for the extractor's tests, written with libarchive's own writer, and a runner for
// the built 7za program. Names are given in UTF-8; the test process must run in a UTF-8
// LC_CTYPE for the writer to convert them.

#include "core/support/TempDir.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
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

namespace detail {

inline std::uint32_t crc32(std::string_view bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline void put_le(std::string& bytes, std::size_t at, std::uint64_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

} // namespace detail

// libarchive's 7z writer has no BCJ filter, so this edits a one-file PPMd package that it wrote:
// the folder gets a second coder, x86 BCJ, fed by PPMd's output. The BCJ decoder only changes
// bytes after 0xE8/0xE9, so for ASCII contents the packed stream stays valid as it is.
//
// 7z layout used here: 32-byte start header (signature 6, version 2, start-header CRC 4,
// next-header offset 8, size 8, CRC 4), packed streams, then the plain header.
inline void add_x86_filter_to_ppmd_7z(const std::string& path)
{
    constexpr std::size_t start_header_size = 32;
    std::string bytes = testsupport::read_file(path);
    std::uint64_t header_offset = 0;
    for (int i = 7; i >= 0; --i)
        header_offset = header_offset << 8 | static_cast<unsigned char>(bytes[12 + static_cast<std::size_t>(i)]);
    std::string header = bytes.substr(start_header_size + header_offset);

    // Folder: one folder, not external, one coder: flags 0x23 (3-byte id with properties),
    // id 03 04 01 (PPMd), 5 bytes of properties; then kCodersUnpackSize (0x0C) and a number.
    const std::string ppmd_folder("\x0b\x01\x00\x01\x23\x03\x04\x01\x05", 9);
    const auto at = header.find(ppmd_folder);
    if (at == std::string::npos || header[at + 14] != '\x0c')
        throw std::runtime_error("not a one-file PPMd package from libarchive");
    const std::string properties = header.substr(at + 9, 5);
    const auto first = static_cast<unsigned char>(header[at + 15]);
    std::size_t extra = 0; // a 7z number has one more byte per leading 1 bit of its first byte
    while (extra < 8 && (first & (0x80u >> extra)) != 0)
        ++extra;
    const std::string unpack_size = header.substr(at + 15, 1 + extra);

    const std::string folder = std::string("\x0b\x01\x00\x02\x23\x03\x04\x01\x05", 9) + properties
        + std::string("\x04\x03\x03\x01\x03", 5) // coder 2: 4-byte id 03 03 01 03 (x86 BCJ)
        + std::string("\x01\x00", 2)             // bond: coder 2's input is coder 1's output
        + "\x0c" + unpack_size + unpack_size;    // both coders put out the same size
    header.replace(at, ppmd_folder.size() + properties.size() + 1 + unpack_size.size(), folder);

    bytes.resize(start_header_size + header_offset);
    bytes += header;
    detail::put_le(bytes, 20, header.size(), 8);
    detail::put_le(bytes, 28, detail::crc32(header), 4);
    detail::put_le(bytes, 8, detail::crc32(std::string_view(bytes).substr(12, 20)), 4);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A RAR 4 archive of stored (uncompressed) files, which nothing on Debian writes: the marker,
// a main header with `main_flags` (0x0001 volume, 0x0080 encrypted headers, 0x0100 first
// volume), one file header plus data per entry, and the end header. Each header starts with
// the low 16 bits of the CRC-32 of the rest of it.
inline std::string rar4_stored(const std::vector<std::pair<std::string, std::string>>& files, unsigned main_flags = 0)
{
    const auto header = [](std::string body) {
        std::string crc(2, '\0');
        detail::put_le(crc, 0, detail::crc32(body) & 0xFFFF, 2);
        return crc + body;
    };
    const auto le = [](std::uint64_t value, int size) {
        std::string bytes(static_cast<std::size_t>(size), '\0');
        detail::put_le(bytes, 0, value, size);
        return bytes;
    };
    std::string out("Rar!\x1a\x07\x00", 7);
    // HEAD_TYPE, HEAD_FLAGS, HEAD_SIZE, two reserved fields.
    out += header("\x73" + le(main_flags, 2) + le(13, 2) + le(0, 2) + le(0, 4));
    for (const auto& [name, data] : files) {
        // LONG_BLOCK; PACK_SIZE, UNP_SIZE, HOST_OS (Unix), FILE_CRC, FTIME, UNP_VER, METHOD
        // (0x30 = stored), NAME_SIZE, ATTR, then the name.
        out += header("\x74" + le(0x8000, 2) + le(32 + name.size(), 2) + le(data.size(), 4) + le(data.size(), 4) + "\x03"
                      + le(detail::crc32(data), 4) + le(0x5A210000, 4) + "\x14\x30" + le(name.size(), 2)
                      + le(0100644, 4) + name);
        out += data;
    }
    out += header("\x7b" + le(0x4000, 2) + le(7, 2));
    return out;
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
