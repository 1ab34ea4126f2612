#include "tools/archiver/Output_name.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct NameCase {
    const char* entry;
    std::optional<std::string> expected;
};

class SafeOutputName : public testing::TestWithParam<NameCase> {};

TEST_P(SafeOutputName, keeps_only_a_usable_last_component)
{
    EXPECT_EQ(archiver::safe_output_name(GetParam().entry), GetParam().expected) << "entry: " << GetParam().entry;
}

INSTANTIATE_TEST_SUITE_P(Names, SafeOutputName,
    testing::Values(
        NameCase{"data.txt", "data.txt"},
        NameCase{"a/b/c.txt", "c.txt"},
        NameCase{"a\\b\\c.txt", "c.txt"},           // zip made on Windows
        NameCase{"a/b\\c.txt", "c.txt"},            // mixed separators
        NameCase{"../../etc/passwd", "passwd"},     // climbing out lands inside
        NameCase{"..\\..\\evil.bat", "evil.bat"},
        NameCase{"/abs/path.txt", "path.txt"},      // absolute names too
        NameCase{"C:\\Windows\\win.ini", "win.ini"},
        NameCase{"..data", "..data"},               // dots inside a name are just characters
        NameCase{"...", "..."},
        NameCase{".hidden", ".hidden"},
        NameCase{"\xd0\xb4\xd0\xb0\xd0\xbd\xd0\xbd\xd1\x8b\xd0\xb5.txt", "\xd0\xb4\xd0\xb0\xd0\xbd\xd0\xbd\xd1\x8b\xd0\xb5.txt"},
        NameCase{"", std::nullopt},
        NameCase{".", std::nullopt},
        NameCase{"..", std::nullopt},
        NameCase{"a/", std::nullopt},               // a folder entry
        NameCase{"a\\", std::nullopt},
        NameCase{"/", std::nullopt},
        NameCase{"a/.", std::nullopt},
        NameCase{"a/..", std::nullopt},
        NameCase{"a\\..", std::nullopt}));

} // namespace
