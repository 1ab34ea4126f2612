// An INI file such as "inpgti.ini": byte 0 picks the encoding, the rest is the file. The
// identity keys are read as placement reads them.

#include "Fuzz_support.h"

#include "lib/Inistorage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static constexpr lib::StrEncoding encodings[] = {lib::enc_1251, lib::enc_utf8, lib::enc_866, lib::enc_none};
    const lib::StrEncoding encoding = encodings[data[0] % 4];
    try {
        const lib::MemIni ini = lib::decode_ini(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), encoding);
        (void)ini.read_string("скважина", "номер", "");
        (void)ini.read_string("pore", "field", "");
        (void)ini.read_string(lib::ini_marker_section, lib::ini_marker_key, "");
    }
    catch (const std::exception&) {
    }
    return 0;
}
