#pragma once
// Unpacks one package (7z, zip, RAR 4 or RAR 5, told apart by content) into a folder, flat:
// every regular file lands under its last name component, overwriting what is there. Links,
// devices, folders and unusable names are read through and skipped.
//
// Each file is written under a temporary name in the folder and renamed when its data has
// been read to the end and checked, so a damaged package leaves the files completed before
// the damage and never a partial file under a real name.
//
// Errors: extract() returns a one-line message (damaged, encrypted or unknown package, a
// folder that cannot be created or written); nothing is thrown. Names come back in the
// C library's current LC_CTYPE, so the caller sets a UTF-8 locale first.

#include <optional>
#include <string>
#include <vector>

struct archive;
struct archive_entry;

namespace archiver {

class Extractor {
public:
    explicit Extractor(std::string folder);

    // Nothing on success, otherwise what went wrong.
    std::optional<std::string> extract(const std::string& package);

private:
    std::optional<std::string> write_entry(archive* reader, archive_entry* entry, const std::string& name);
    std::optional<std::string> read_to_end(archive* reader);

    std::string folder_;
    std::vector<char> buffer_;
    unsigned temp_counter_ = 0;
};

} // namespace archiver
