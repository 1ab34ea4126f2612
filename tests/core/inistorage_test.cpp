#include "lib/Inistorage.h"

#include "lib/io/Binary_io.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using testsupport::TempDir;

namespace {

// "[ГТИ]\r\nМесторождение=Южное\r\n" in code page 1251.
const std::string cp1251_identity = "[\xC3\xD2\xC8]\r\n\xCC\xE5\xF1\xF2\xEE\xF0\xEE\xE6\xE4\xE5\xED\xE8\xE5=\xDE\xE6\xED\xEE\xE5\r\n";

const std::string utf8_identity = "[__special__]\nencoding=utf8\n[ГТИ]\nМесторождение=Южное\n";

} // namespace

TEST(OpenIniForReading, PicksTheEncodingByTheMarker)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"1251 without marker", cp1251_identity, "Южное"},
        {"UTF-8 with marker", utf8_identity, "Южное"},
        {"UTF-8 with marker and byte-order mark", "\xEF\xBB\xBF" + utf8_identity, "Южное"},
        // An editor re-saved it in 1251: no longer UTF-8, so the marker is not seen.
        {"marker but 1251 bytes", "[__special__]\r\nencoding=utf8\r\n" + cp1251_identity, "Южное"},
        // Valid UTF-8 without the marker is read as 1251, letter by letter.
        {"UTF-8 without marker", "[ГТИ]\nМесторождение=Южное\n", ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto ini = lib::open_ini_for_reading(dir.write("inpgti.ini", c.bytes));
        EXPECT_EQ(ini->read_string("гти", "МЕСТОРОЖДЕНИЕ", ""), c.expected) << c.name;
    }
}

TEST(OpenIniForReading, AMissingFileIsEmptyAndGivesDefaults)
{
    TempDir dir;
    const auto ini = lib::open_ini_for_reading(dir.file("inpgti.ini"));
    EXPECT_TRUE(ini->empty());
    EXPECT_EQ(ini->read_string("a", "b", "по умолчанию"), "по умолчанию");
}

TEST(OpenIniForReading, AFolderInPlaceOfTheFileIsAnOpenError)
{
    TempDir dir;
    EXPECT_THROW(lib::open_ini_for_reading(dir.folder()), lib::io::FileError);
}

TEST(MemIniParse, TrimsKeysAndValuesAndFindsThemWithoutRegardToCase)
{
    const auto ini = lib::MemIni::parse("ignored=before any section\r"
                                        "[ Скважина ]\n"
                                        "   глубина   =   12.5 \n"
                                        "; комментарий=1\n"
                                        "\n"
                                        "без значения\n"
                                        "формула = a=b\n"
                                        "Глубина = второе\n");
    EXPECT_EQ(ini.read_string("СКВАЖИНА", "Глубина", "-"), "12.5"); // the first of two wins
    EXPECT_EQ(ini.read_string("скважина", "формула", "-"), "a=b");
    EXPECT_EQ(ini.read_string("скважина", "без значения", "-"), "-");
    EXPECT_EQ(ini.read_string("скважина", "; комментарий", "-"), "-");
    EXPECT_EQ(ini.read_string("", "ignored", "-"), "-");
}

TEST(MemIniParse, InvalidUtf8GivesAnEmptyIni)
{
    EXPECT_TRUE(lib::decode_ini("[a]\nb=\xC3(\n", lib::enc_utf8).empty());
    EXPECT_FALSE(lib::decode_ini("[a]\nb=\xC3(\n", lib::enc_1251).empty());
}
