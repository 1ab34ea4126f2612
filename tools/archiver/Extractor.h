#pragma once
// Unpacks one package (7z, zip, RAR 4 or RAR 5, told apart by content) into a folder, flat:
// every regular file lands under its last name component, overwriting what is there. Links,
// devices, folders and unusable names are read through and skipped.
//
// Each file is written under a temporary name in the folder and renamed when its data has
// been read to the end and checked, so a damaged package leaves the files completed before
// the damage and never a partial file under a real name.
//
// The format is told by the signature at the start of the file. A RAR volume brings in its
// whole set (NAME.partN.rar beside it); RAR data that libarchive fails go to a second decoder
// (Unar_fallback.h) whose every file is checked against its declared size and checksum.
//
// Errors: extract() returns a one-line message that says which it is: a damaged, encrypted
// or unknown package, a missing volume, a folder that cannot be created or written; nothing
// is thrown. Names come back in the
// C library's current LC_CTYPE, so the caller sets a UTF-8 locale first.

#include "tools/archiver/Member_writer.h"
#include "tools/archiver/Package_kind.h"
#include "tools/archiver/Rar_headers.h"

#include <optional>
#include <string>
#include <vector>

struct archive;
struct archive_entry;

namespace archiver {

struct Failure {
    enum Kind { damaged, encrypted, unsupported, output };
    Kind kind;
    std::string message;
};

class Extractor {
public:
    explicit Extractor(std::string folder);

    // Nothing on success, otherwise what went wrong.
    std::optional<std::string> extract(const std::string& package);

private:
    // The package file, open; its archive starts at `offset` (past the stub of a self-extracting one).
    struct OpenPackage {
        int fd = -1;
        std::uint64_t offset = 0;
        std::uint64_t size = 0;
    };
    // From the open package, or (package.fd < 0) from the volumes of a set, first to last.
    std::optional<Failure> extract_entries(PackageKind kind, const OpenPackage& package,
                                           const std::vector<std::string>& volumes);
    std::optional<Failure> write_entry(archive* reader, archive_entry* entry, const std::string& name);
    std::optional<Failure> read_to_end(archive* reader);

    std::string folder_;
    std::vector<char> buffer_;  // for entries read through without a file
    MemberWriter writer_;
    unsigned temp_counter_ = 0;
    // RAR 4: the CRC of each file header, matched to libarchive's entries by their order.
    bool checking_rar4_ = false;
    std::optional<std::vector<Rar4File>> rar4_files_;
    std::size_t entry_index_ = 0;
};

} // namespace archiver
