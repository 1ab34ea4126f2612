// The files data cache "TemporaryFileData.bin": loads whatever it holds, and what it loaded
// is found again by its key.

#include "Fuzz_support.h"

#include "catalogue/Filedata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz::scratch() + "TemporaryFileData.bin";
    fuzz::write_file(path, std::string_view(reinterpret_cast<const char*>(data), size));
    FilesDataStorage cache;
    try {
        cache.load(path);
    }
    catch (const std::exception&) {
        return 0;
    }
    for (const auto& [key, size_in_cache] : cache.entries()) {
        std::int32_t found = 0;
        if (!cache.find(key, found) || found != size_in_cache.size)
            std::abort();
    }
    return 0;
}
