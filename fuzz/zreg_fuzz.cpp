// A .zreg package, unpacked into a scratch folder that is emptied after each input.

#include "Fuzz_support.h"

#include "extract/Regzipclass.h"

#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string package = fuzz::scratch() + "fuzz.zreg";
    const std::string folder = fuzz::scratch() + "out/";
    std::filesystem::create_directories(folder);
    fuzz::write_file(package, std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        rzip::Decompression unpacker(package);
        unpacker.extract_all(folder);
    }
    catch (const std::exception&) {
    }
    fuzz::empty_folder(folder);
    return 0;
}
