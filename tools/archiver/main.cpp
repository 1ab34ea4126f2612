// 7za: the package extractor that the program runs as `7za e PACKAGE -oFOLDER -r`.
// Exit status 0 when every file was written, 2 on a wrong command line or any failure.

#include "tools/archiver/Extractor.h"

#include <clocale>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr int exit_ok = 0;
constexpr int exit_error = 2;

constexpr std::string_view usage =
    "usage: 7za e PACKAGE -oFOLDER -r\n"
    "Unpacks every file of PACKAGE (7z, zip, RAR) into FOLDER, without the folders inside the package.\n";

// The message goes out as one line whatever names libarchive put into it.
std::string one_line(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5 || std::string_view(argv[1]) != "e" || std::string_view(argv[2]).empty()
        || !std::string_view(argv[3]).starts_with("-o") || std::string_view(argv[3]).size() == 2
        || std::string_view(argv[4]) != "-r") {
        std::cerr << usage;
        return exit_error;
    }
    const std::string package = argv[2];
    const std::string folder = std::string(argv[3]).substr(2);

    // libarchive converts entry names to the locale's character set; in the "C" locale names
    // outside ASCII would not convert at all.
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        std::cerr << "7za: the C.UTF-8 locale is not available\n";
        return exit_error;
    }

    // The extractor reports through its result; only a thread or memory that the system
    // refuses can throw, and that too must end as the one line the caller quotes.
    std::optional<std::string> failure;
    try {
        archiver::Extractor extractor(folder);
        failure = extractor.extract(package);
    }
    catch (const std::exception& error) {
        failure = error.what();
    }
    if (failure) {
        std::cerr << "7za: " << one_line(package + ": " + *failure) << '\n';
        return exit_error;
    }
    return exit_ok;
}
