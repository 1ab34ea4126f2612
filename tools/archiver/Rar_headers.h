#pragma once
// What the block headers of a RAR file say about it before any data is decoded: whether its
// headers or files are encrypted, and whether it is one volume of a set (which one, and
// whether more follow). libarchive's messages for these cases mislead ("Unsupported block
// header size" for an encrypted RAR 5), and a volume read alone passes with short files.
//
// Reads only header bytes through `read`, never trusting a size before checking it against
// what is there; a damaged or truncated file gives what could be read (`ended` false).

#include "tools/archiver/Read_at.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace archiver {

struct RarLayout {
    bool headers_encrypted = false;
    bool file_encrypted = false;
    bool volume = false;
    std::uint64_t volume_number = 0; // 0 for the first volume (and for a single archive)
    bool more_volumes = false;       // the end header says the set goes on in the next volume
    bool ended = false;              // the end header was reached
};

RarLayout read_rar5_layout(const ReadAt& read);

// RAR 4 headers: only the main header's flags (volume, first volume, encrypted headers).
// volume_number is 0 for the first volume and 1 for any later one.
RarLayout read_rar4_layout(const ReadAt& read);

// One file header of a RAR 4 archive, in the archive's order; libarchive yields one entry for
// each, and does not check the CRC of stored (uncompressed) files itself.
struct Rar4File {
    std::uint32_t crc = 0;
    bool folder = false;
};

// Every file header up to the end header, or nothing when the headers cannot be walked to it.
std::optional<std::vector<Rar4File>> read_rar4_files(const ReadAt& read);

} // namespace archiver
