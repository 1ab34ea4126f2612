#include "testkit/Archive_writer.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <stdexcept>

namespace testkit {

namespace {

using Writer = std::unique_ptr<archive, decltype(&archive_write_free)>;
using Entry = std::unique_ptr<archive_entry, decltype(&archive_entry_free)>;

void check(archive* a, int status)
{
    if (status < ARCHIVE_WARN)
        throw std::runtime_error(std::string("archive writer: ") + archive_error_string(a));
}

void choose_format(archive* a, ArchiveFormat format)
{
    if (format == ArchiveFormat::zip) {
        check(a, archive_write_set_format_zip(a));
        return;
    }
    check(a, archive_write_set_format_7zip(a));
    const char* compression = "lzma2";
    switch (format) {
    case ArchiveFormat::sevenzip_lzma1: compression = "lzma1"; break;
    case ArchiveFormat::sevenzip_bzip2: compression = "bzip2"; break;
    case ArchiveFormat::sevenzip_deflate: compression = "deflate"; break;
    case ArchiveFormat::sevenzip_ppmd: compression = "ppmd"; break;
    default: break;
    }
    check(a, archive_write_set_format_option(a, "7zip", "compression", compression));
}

} // namespace

void write_archive(const std::string& path, ArchiveFormat format, const std::vector<ArchiveEntry>& entries)
{
    const Writer writer(archive_write_new(), archive_write_free);
    archive* a = writer.get();
    choose_format(a, format);
    check(a, archive_write_open_filename(a, path.c_str()));
    for (const ArchiveEntry& item : entries) {
        const Entry entry(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname_utf8(entry.get(), item.name.c_str());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(item.content.size()));
        check(a, archive_write_header(a, entry.get()));
        if (!item.content.empty() &&
            archive_write_data(a, item.content.data(), item.content.size()) != static_cast<la_ssize_t>(item.content.size()))
            throw std::runtime_error(std::string("archive writer: ") + archive_error_string(a));
    }
    check(a, archive_write_close(a));
}

} // namespace testkit
