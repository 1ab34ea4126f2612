// A classic data file with its parameter list: part 0 is "inpgti.nbl", part 1 the ".tim".

#include "Fuzz_support.h"

#include "storage/Realtimedatareader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto parts = fuzz::split_parts(data, size, 2);
    fuzz::write_file(fuzz::scratch() + std::string(storage_text::classic_param_list), parts[0]);
    fuzz::write_file(fuzz::scratch() + "fuzz.tim", parts[1]);
    try {
        FileStorage model;
        model.load(fuzz::scratch() + "fuzz.tim");
    }
    catch (const std::exception&) {
    }
    return 0;
}
