#pragma once
// Archive packages (.rar-like, .7z_reg, .compr_rt, .compr2_rt are all archives for the
// archiver) written with libarchive's writer, so that the extractor meets real archives in
// tests. RAR cannot be written: tests of `.rar` packages use a 7z or zip archive under the
// package's name, which the extractor recognises by content.

#include "testkit/Bytes.h"

#include <string>
#include <vector>

namespace testkit {

struct ArchiveEntry {
    std::string name; // the entry's path inside the archive, UTF-8
    Bytes content;
};

enum class ArchiveFormat { sevenzip_lzma2, sevenzip_lzma1, sevenzip_bzip2, sevenzip_deflate, sevenzip_ppmd, zip };

// Writes the archive to `path`; throws std::runtime_error with libarchive's message.
void write_archive(const std::string& path, ArchiveFormat format, const std::vector<ArchiveEntry>& entries);

} // namespace testkit
