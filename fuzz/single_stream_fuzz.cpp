// A single compressed stream (.compr1, .newcompr1), read from memory.

#include "Fuzz_support.h"

#include "lib/io/Binary_io.h"
#include "storage/Realtimedatareader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        lib::io::BinaryMemoryInputStream in;
        in.set_data(data, size);
        FileStorage model;
        model.load_after_decompressing(in);
    }
    catch (const std::exception&) {
    }
    return 0;
}
