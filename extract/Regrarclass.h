#pragma once
// Packages opened by the external archiver: `.rar` with rearranged classic files, and the
// archiver run that every archive kind shares.
//
// The archiver is the file "7za" in the program's folder, run as `7za e PACKAGE -oFOLDER -r`
// with the arguments as a list. A missing archiver or one that reports an error (a non-zero
// exit status) makes the package fail with FileStorageException: a damaged archive must not
// pass for an empty package and be remembered as done.

#include <string>

namespace archiver_text {
// The program's own words, as on Windows; the file is "7za" here.
inline constexpr const char* missing = "Файл 7za.exe не найден";
} // namespace archiver_text

// Where the archiver is: the program's folder + "7za" unless set otherwise (tests do).
std::string archiver_path();
void set_archiver_path(std::string path);

// Runs the archiver for the package into `folder` (ending with '/').
void run_archiver(const std::string& package, const std::string& folder);

class RegRARDecompr {
public:
    explicit RegRARDecompr(std::string package);

    // Unpacks into `folder` (ending with '/') and turns the classic files back into records.
    void extract(const std::string& folder);

    // Rewrites one planar or compact classic file in record order (the forms are
    // storage/Classic_record's); an empty file, or a compact head that does not fit its
    // size, is left as unpacked.
    static void convert_classic_file(const std::string& path);

private:
    std::string package_;
};
