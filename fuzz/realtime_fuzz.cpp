// A real-time data file (.realtim), any bytes: loads, with warnings at worst.

#include "Fuzz_support.h"

#include "storage/Realtimedatareader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz::scratch() + "fuzz.realtim";
    fuzz::write_file(path, std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        FileStorage model;
        model.load(path);
    }
    catch (const std::exception&) {
    }
    return 0;
}
