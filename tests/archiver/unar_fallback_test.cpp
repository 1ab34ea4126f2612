// The second decoder called directly, on archives that libarchive reads too: the same flat,
// link-free result as the first route, names in the DOS code page included, and nothing of
// its private folder left behind.

#include "Sha256.h"
#include "Test_archive.h"

#include "core/support/TempDir.h"
#include "tools/archiver/Unar_fallback.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> digests_in(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& item : fs::directory_iterator(folder))
        files[item.path().filename().string()] = item.is_regular_file() && !item.is_symlink()
            ? archiver_test::sha256_hex(testsupport::read_file(item.path().string()))
            : "<not a file>";
    return files;
}

struct UnarCase {
    const char* label;
    const char* archive; // in tests/archiver/data
    std::map<std::string, std::string> expected; // name -> SHA-256
};

void PrintTo(const UnarCase& c, std::ostream* os) { *os << c.label; }

class UnarRoute : public testing::TestWithParam<UnarCase> {};

TEST_P(UnarRoute, gives_the_files_flat_and_checked)
{
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    testsupport::TempDir dir;
    fs::create_directory(dir.file("out"));

    const auto failure = archiver::extract_with_unar(std::string(ARCHIVER_TEST_DATA) + "/" + GetParam().archive, dir.file("out"));

    ASSERT_FALSE(failure) << *failure;
    EXPECT_EQ(digests_in(dir.file("out")), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Archives, UnarRoute,
    testing::Values(
        // A link and folders that never come out; test.txt twice, the later copy wins.
        UnarCase{"rar4_with_link_and_folders", "test_read_format_rar.rar",
                 {{"test.txt", "5a5f16e01faf8adf92eb4499a2d3e93010c4b41dbb7f698f4a8466d9f58e6dd2"}}},
        UnarCase{"rar4_multi_block", "test_read_format_rar_multi_lzss_blocks.rar",
                 {{"multi_lzss_blocks_test.txt", "49a84a381599f749f93beaf486f3d661883d45659d9f46bfde9d34f72644f208"}}},
        UnarCase{"rar5_volume_set", "test_read_format_rar5_multiarchive.part01.rar",
                 {{"bsdcat_test", "b858933c12f1b907dac93a9428ae266c9fcb95df5cb88586fcd752a05305e1eb"},
                  {"bsdtar_test", "30e80423a3ed56cfc27d6fd79e3b40c087d42829aecaec01262e3727762bb2eb"}}}),
    [](const testing::TestParamInfo<UnarCase>& info) { return std::string(info.param.label); });

// A RAR 4 name without a Unicode form is in the DOS code page of a Russian Windows.
TEST(UnarRouteNames, come_back_as_utf8)
{
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    testsupport::TempDir dir;
    fs::create_directory(dir.file("out"));
    // "скв\данные.tim": RAR 4 separates folders by a backslash.
    const std::string cp866_name = "\xa4\xa0\xad\xad\xeb\xa5.tim";
    const std::string package = dir.write("package.rar", archiver_test::rar4_stored({{"\xe1\xaa\xa2\\" + cp866_name, "records"}}));

    const auto failure = archiver::extract_with_unar(package, dir.file("out"));

    ASSERT_FALSE(failure) << *failure;
    EXPECT_EQ(testsupport::read_file(dir.file("out/данные.tim")), "records");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("out")), fs::directory_iterator()), 1);
}

} // namespace
