#include "extract/Zlib_library.h"

#include "support/Expect.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <zlib.h>

using testsupport::message_of;
using testsupport::TempDir;

namespace {

// Compresses with the given binding and gives the uncompressed bytes back through it.
std::string round_trip(lib::Zlib& zlib, const std::string& text)
{
    std::vector<unsigned char> packed(text.size() + 64);
    unsigned long packed_size = packed.size();
    const auto* source = reinterpret_cast<const unsigned char*>(text.data());
    if (zlib.compress2(packed.data(), &packed_size, source, text.size(), 9) != 0)
        return "(compress2 failed)";
    std::string unpacked(text.size(), '\0');
    unsigned long unpacked_size = unpacked.size();
    if (zlib.uncompress(reinterpret_cast<unsigned char*>(unpacked.data()), &unpacked_size, packed.data(), packed_size) != 0)
        return "(uncompress failed)";
    unpacked.resize(unpacked_size);
    return unpacked;
}

int uncompress_nothing(lib::Zlib& zlib)
{
    unsigned char out[1];
    unsigned long out_size = sizeof out;
    const unsigned char in[1] = {0};
    return zlib.uncompress(out, &out_size, in, 0);
}

// The file the system loader found for the zlib this test links.
std::string system_zlib_path()
{
    Dl_info info{};
    if (::dladdr(std::bit_cast<void*>(&::zlibVersion), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return info.dli_fname;
}

} // namespace

TEST(ZlibLibrary, LoaderErrorsNameTheLibraryAndTheMissingExport)
{
    struct Case {
        const char* what;
        std::function<void()> action;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"empty library name", [] { lib::dll::Library("").load(); }, "Library::load: name is empty"},
        {"no such library",
         [] {
             lib::Zlib zlib("libz-missing.so.9");
             uncompress_nothing(zlib);
         },
         "Library::load: can't load library 'libz-missing.so.9'"},
        {"library without the export",
         [] {
             lib::Zlib zlib("libm.so.6");
             uncompress_nothing(zlib);
         },
         "Library::get_proc_address: can't find procedure 'uncompress' in library 'libm.so.6'"},
        {"function without a name",
         [] {
             lib::dll::Library library("libz.so.1");
             lib::dll::FunctionBase function;
             function.init(nullptr, &library);
             function.load();
         },
         "FunctionBase::load: name of procedure is not definded!"},
        {"function without a library",
         [] {
             lib::dll::FunctionBase function;
             function.init("uncompress", nullptr);
             function.load();
         },
         "FunctionBase::load: library is not definded!"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(message_of(c.action), c.message) << c.what;
}

TEST(ZlibLibrary, FailedLoadLeavesTheBindingToBeRetriedOnTheNextCall)
{
    const std::string real = system_zlib_path();
    ASSERT_FALSE(real.empty());
    const TempDir dir;
    const std::string later = dir.file("libz-later.so.1");
    lib::Zlib zlib(later);

    EXPECT_EQ(message_of([&] { uncompress_nothing(zlib); }), "Library::load: can't load library '" + later + "'");
    EXPECT_FALSE(zlib.library.loaded());
    EXPECT_FALSE(zlib.uncompress.bound());

    std::filesystem::create_symlink(real, later);
    EXPECT_EQ(round_trip(zlib, "буровой раствор"), "буровой раствор");
    EXPECT_TRUE(zlib.uncompress.bound());
}

TEST(ZlibLibrary, ProgramWideBindingLoadsTheSystemZlibOnce)
{
    lib::Zlib& zlib = lib::zlib_instance();
    EXPECT_EQ(&zlib, &lib::zlib_instance());
    EXPECT_EQ(zlib.library.name(), "libz.so.1");

    EXPECT_EQ(round_trip(zlib, "первый пакет"), "первый пакет");
    void* const module = zlib.library.module();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(round_trip(lib::zlib_instance(), "второй пакет"), "второй пакет");
    EXPECT_EQ(lib::zlib_instance().library.module(), module);
}
