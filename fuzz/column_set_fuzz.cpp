// A compressed column-file set: byte 0 picks the form version (bit 1: 2, else 0), then one
// part per member in the order ".params", ".values", ".text", ".time", ".depth_z",
// ".depth_cur", ".lag_depth", ".operation"; an empty part is a missing member.

#include "Fuzz_support.h"

#include "storage/Realtimedatareader.h"

#include <array>

namespace {

constexpr std::array<const char*, 8> suffixes = {".params", ".values", ".text", ".time",
                                                 ".depth_z", ".depth_cur", ".lag_depth", ".operation"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int form_version = (data[0] & 2) != 0 ? 2 : 0;
    const auto parts = fuzz::split_parts(data + 1, size - 1, suffixes.size());
    const std::string base = fuzz::scratch() + "fuzz.realtim";
    for (std::size_t i = 0; i < suffixes.size(); ++i) {
        const std::string path = base + suffixes[i];
        if (parts[i].empty())
            std::remove(path.c_str());
        else
            fuzz::write_file(path, parts[i]);
    }
    try {
        FileStorage model;
        model.load_compressed(base, form_version);
    }
    catch (const std::exception&) {
    }
    return 0;
}
