// A settings file (dravinex2.ini) as text: a value written into it reads back, and the
// lines the write did not touch stay.

#include "Fuzz_support.h"

#include "lib/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        lib::Profile profile = lib::Profile::parse(text);
        (void)profile.read_string("options", "from_path", "");
        (void)profile.read_int("MyContainer1", "Width", 0);
        profile.write_string("options", "to_path", "/home/user/gtidata/");
        const lib::Profile again = lib::Profile::parse(profile.text());
        if (again.read_string("options", "to_path", "") != "/home/user/gtidata/")
            std::abort();
    }
    catch (const std::exception&) {
    }
    return 0;
}
