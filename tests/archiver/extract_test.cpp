// The built 7za run on packages written by libarchive's writer: what lands in the output
// folder, what never does, and the exit status.

#include "Test_archive.h"

#include "core/support/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using archiver_test::Entry;
using archiver_test::Format;

// Text-like records, compressible but not trivially so; distinct seeds give distinct files.
std::string sample(std::size_t size, std::uint32_t seed)
{
    std::string out;
    out.reserve(size + 64);
    std::uint32_t x = seed;
    while (out.size() < size) {
        x = x * 1664525u + 1013904223u;
        out += "depth " + std::to_string(x % 5000) + "." + std::to_string((x >> 12) % 10) + " gas "
            + std::to_string((x >> 8) % 997) + "\n";
    }
    out.resize(size);
    return out;
}

std::string binary(std::size_t size, std::uint32_t seed)
{
    std::string out(size, '\0');
    std::uint32_t x = seed;
    for (char& c : out) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

const Format seven_zip_lzma2{"7z_lzma2", "7zip", {{"compression", "lzma2"}}};
const Format seven_zip_store{"7z_store", "7zip", {{"compression", "store"}}};
const Format zip_deflate{"zip_deflate", "zip", {{"compression", "deflate"}}};
const Format zip_store{"zip_store", "zip", {{"compression", "store"}}};

std::string format_name(const testing::TestParamInfo<Format>& info) { return info.param.label; }

class Extract : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }

    // The extension is none of the archive kinds: the extractor must go by content.
    std::string write_package(const Format& format, const std::vector<Entry>& entries,
                              const char* passphrase = nullptr)
    {
        const std::string path = dir_.file("package.zreg");
        archiver_test::write_archive(path, format, entries, passphrase);
        return path;
    }

    archiver_test::RunResult run(const std::vector<std::string>& arguments)
    {
        return archiver_test::run_7za(arguments, dir_.file("stderr.txt"));
    }
    archiver_test::RunResult extract(const std::string& package) { return run({"e", package, "-o" + out(), "-r"}); }

    std::string out() const { return dir_.file("out"); }

    // Every name in the output folder with its contents; anything but a regular file shows
    // up as "<not a file>".
    std::map<std::string, std::string> extracted() const
    {
        std::map<std::string, std::string> files;
        for (const auto& item : fs::directory_iterator(out()))
            files[item.path().filename().string()] =
                item.is_regular_file() && !item.is_symlink() ? testsupport::read_file(item.path().string()) : "<not a file>";
        return files;
    }

    // The test's own folder holds only what the test put there and the output folder.
    void expect_nothing_outside_output() const
    {
        for (const auto& item : fs::directory_iterator(dir_.folder())) {
            const std::string name = item.path().filename().string();
            EXPECT_TRUE(name == "out" || name == "package.zreg" || name == "stderr.txt" || name == "outside.txt")
                << "unexpected " << name;
        }
    }

    testsupport::TempDir dir_;
};

// --- every compression the station's packages use -------------------------------------------

class ExtractFormat : public Extract, public testing::WithParamInterface<Format> {};

TEST_P(ExtractFormat, writes_every_file_flat_under_its_last_name)
{
    const std::string big = sample(1'500'000, 1); // more than one read buffer
    const std::string bin = binary(70'000, 2);
    const std::string package = write_package(GetParam(), {
        {"well/", "", AE_IFDIR},
        {"well/a.txt", big},
        {"empty.dat", ""},
        {"well/deep/b.bin", bin},
        {"c.txt", "small\n"},
    });

    const auto result = extract(package);

    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.errors, "");
    const std::map<std::string, std::string> expected{{"a.txt", big}, {"empty.dat", ""}, {"b.bin", bin}, {"c.txt", "small\n"}};
    EXPECT_EQ(extracted(), expected); // no folders, no temporary files left
}

INSTANTIATE_TEST_SUITE_P(Formats, ExtractFormat,
    testing::Values(seven_zip_store,
                    Format{"7z_deflate", "7zip", {{"compression", "deflate"}}},
                    Format{"7z_bzip2", "7zip", {{"compression", "bzip2"}}},
                    Format{"7z_lzma1", "7zip", {{"compression", "lzma1"}}},
                    seven_zip_lzma2,
                    Format{"7z_ppmd", "7zip", {{"compression", "ppmd"}}},
                    zip_deflate,
                    zip_store),
    format_name);

// --- names: nothing leaves the folder, unusable names are skipped ---------------------------

class ExtractNames : public Extract, public testing::WithParamInterface<Format> {};

TEST_P(ExtractNames, land_inside_the_folder_or_are_skipped)
{
    std::vector<Entry> entries{
        {"../evil.txt", "climbs"},
        {"/abs/abs.txt", "absolute"},
        {"a\\b\\win.txt", "windows"},
        {".", "dot"},
        {"..", "dotdot"},
        {"dir/..", "dir dotdot"},
    };
    // libarchive's zip writer crashes on an empty name; its 7z writer takes one.
    if (GetParam().writer == "7zip")
        entries.emplace_back("", "no name");
    entries.emplace_back("after.txt", sample(50'000, 3)); // read correctly after the skipped data
    const std::string package = write_package(GetParam(), entries);

    const auto result = extract(package);

    ASSERT_EQ(result.status, 0) << result.errors;
    const std::map<std::string, std::string> expected{
        {"evil.txt", "climbs"}, {"abs.txt", "absolute"}, {"win.txt", "windows"}, {"after.txt", sample(50'000, 3)}};
    EXPECT_EQ(extracted(), expected);
    expect_nothing_outside_output();
}

TEST_P(ExtractNames, never_creates_a_link)
{
    const std::string package = write_package(GetParam(), {
        {"link", "", AE_IFLNK, dir_.file("outside.txt")},
        {"after.txt", "after"},
    });

    const auto result = extract(package);

    ASSERT_EQ(result.status, 0) << result.errors;
    const std::map<std::string, std::string> expected{{"after.txt", "after"}};
    EXPECT_EQ(extracted(), expected);
    EXPECT_FALSE(fs::exists(dir_.file("outside.txt")));
}

// An existing link in the folder is replaced, not followed out of it.
TEST_P(ExtractNames, overwrites_existing_files_and_links)
{
    fs::create_directory(out());
    std::ofstream(out() + "/a.txt") << "old contents that are longer";
    dir_.write("outside.txt", "outside");
    fs::create_symlink(dir_.file("outside.txt"), out() + "/b.txt");
    const std::string package = write_package(GetParam(), {{"x/a.txt", "new a"}, {"b.txt", "new b"}});

    const auto result = extract(package);

    ASSERT_EQ(result.status, 0) << result.errors;
    const std::map<std::string, std::string> expected{{"a.txt", "new a"}, {"b.txt", "new b"}};
    EXPECT_EQ(extracted(), expected);
    EXPECT_EQ(testsupport::read_file(dir_.file("outside.txt")), "outside");
}

INSTANTIATE_TEST_SUITE_P(Formats, ExtractNames, testing::Values(seven_zip_lzma2, zip_deflate), format_name);

// --- the output folder ----------------------------------------------------------------------

TEST_F(Extract, creates_a_missing_output_folder_with_its_parents)
{
    const std::string package = write_package(seven_zip_lzma2, {{"a.txt", "a"}});
    const std::string folder = dir_.file("new/deeper");

    const auto result = run({"e", package, "-o" + folder, "-r"});

    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(testsupport::read_file(folder + "/a.txt"), "a");
}

TEST_F(Extract, fails_when_the_output_folder_is_a_file)
{
    const std::string package = write_package(seven_zip_lzma2, {{"a.txt", "a"}});
    dir_.write("out", "a file");

    const auto result = extract(package);

    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.errors.find("cannot create folder"), std::string::npos) << result.errors;
}

// --- Cyrillic names -------------------------------------------------------------------------

struct CyrillicCase {
    Format format;
    int utf8_flag; // zip's "name is UTF-8" bit in the first local header; -1 for 7z
};

void PrintTo(const CyrillicCase& c, std::ostream* os) { *os << c.format.label; }

class ExtractCyrillic : public Extract, public testing::WithParamInterface<CyrillicCase> {};

TEST_P(ExtractCyrillic, comes_back_as_utf8)
{
    const std::string package = write_package(GetParam().format, {{"Скважина 1/данные.txt", "значения"}});
    if (GetParam().utf8_flag >= 0) {
        const std::string bytes = testsupport::read_file(package);
        ASSERT_EQ(bytes.compare(0, 4, "PK\x03\x04"), 0);
        const int flags = static_cast<unsigned char>(bytes[6]) | static_cast<unsigned char>(bytes[7]) << 8;
        ASSERT_EQ((flags >> 11) & 1, GetParam().utf8_flag) << "the writer did not make the intended package";
    }

    const auto result = extract(package);

    ASSERT_EQ(result.status, 0) << result.errors;
    const std::map<std::string, std::string> expected{{"данные.txt", "значения"}};
    EXPECT_EQ(extracted(), expected);
}

INSTANTIATE_TEST_SUITE_P(Names, ExtractCyrillic,
    testing::Values(CyrillicCase{{"zip_utf8", "zip", {{"hdrcharset", "UTF-8"}}}, 1},
                    CyrillicCase{{"zip_cp866", "zip", {{"hdrcharset", "CP866"}}}, 0},
                    CyrillicCase{seven_zip_lzma2, -1}),
    [](const testing::TestParamInfo<CyrillicCase>& info) { return info.param.format.label; });

// --- damage: exit 2, and no partial file under a real name ---------------------------------

void flip_byte_in(const std::string& path, const std::string& marker)
{
    std::string bytes = testsupport::read_file(path);
    const auto at = bytes.find(marker);
    ASSERT_NE(at, std::string::npos);
    bytes[at + marker.size() / 2] ^= 0x20;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void truncate_to(const std::string& path, double fraction)
{
    fs::resize_file(path, static_cast<std::uintmax_t>(static_cast<double>(fs::file_size(path)) * fraction));
}

struct DamageCase {
    const char* label;
    Format format;
    void (*damage)(const std::string& package, const std::string& second_data);
    bool first_survives; // the damage lies after the first file's data
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.label; }

class ExtractDamaged : public Extract, public testing::WithParamInterface<DamageCase> {};

TEST_P(ExtractDamaged, fails_and_keeps_only_complete_files)
{
    const std::string first = sample(200'000, 4);
    const std::string second = sample(300'000, 5);
    const std::string package = write_package(GetParam().format, {{"first.txt", first}, {"second.txt", second}});
    GetParam().damage(package, second);

    const auto result = extract(package);

    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors.rfind("7za: " + package + ": ", 0), 0u) << result.errors;
    EXPECT_EQ(result.errors.find('\n'), result.errors.size() - 1) << "one line: " << result.errors;
    const std::map<std::string, std::string> only_first{{"first.txt", first}};
    if (GetParam().first_survives) {
        EXPECT_EQ(extracted(), only_first);
    } else if (fs::exists(out())) {
        const auto files = extracted();
        EXPECT_TRUE(files.empty() || files == only_first) << files.size() << " files";
    }
}

INSTANTIATE_TEST_SUITE_P(Damage, ExtractDamaged,
    testing::Values(
        // Stored data decodes without complaint: only the checksum can catch the flipped byte.
        DamageCase{"7z_store_flipped_data", seven_zip_store,
                   [](const std::string& p, const std::string& second) { flip_byte_in(p, second.substr(100'000, 64)); },
                   true},
        DamageCase{"zip_store_flipped_data", zip_store,
                   [](const std::string& p, const std::string& second) { flip_byte_in(p, second.substr(100'000, 64)); },
                   true},
        DamageCase{"7z_lzma2_flipped_stream", seven_zip_lzma2,
                   [](const std::string& p, const std::string&) {
                       std::string bytes = testsupport::read_file(p);
                       bytes[bytes.size() / 2] ^= 0x55;
                       std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
                   },
                   false},
        DamageCase{"7z_lzma2_truncated", seven_zip_lzma2,
                   [](const std::string& p, const std::string&) { truncate_to(p, 0.6); }, false},
        DamageCase{"zip_deflate_truncated", zip_deflate,
                   [](const std::string& p, const std::string&) { truncate_to(p, 0.6); }, false}),
    [](const testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.label); });

// Members larger than the extractor's blocks are written while the next block is decoded:
// damage found after several blocks went out must still leave no partial file behind.
TEST_F(Extract, a_member_damaged_after_several_written_blocks_leaves_no_partial_file)
{
    const std::string first = sample(2'500'000, 6);
    const std::string second = sample(3'500'000, 7);
    const std::string package = write_package(seven_zip_store, {{"first.txt", first}, {"second.txt", second}});
    flip_byte_in(package, second.substr(3'000'000, 64)); // stored data: only the checksum at the end can tell

    const auto result = extract(package);

    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.errors.find("damaged package"), std::string::npos) << result.errors;
    EXPECT_EQ(extracted(), (std::map<std::string, std::string>{{"first.txt", first}}));
}

TEST_F(Extract, refuses_an_encrypted_package)
{
    std::string package;
    try {
        package = write_package(Format{"zip_encrypted", "zip", {{"encryption", "zipcrypt"}}}, {{"secret.txt", "secret"}},
                                "password");
    } catch (const std::runtime_error& e) {
        GTEST_SKIP() << "this libarchive cannot write encrypted zip: " << e.what();
    }

    const auto result = extract(package);

    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.errors.find("ncrypt"), std::string::npos) << result.errors;
    EXPECT_FALSE(fs::exists(out() + "/secret.txt"));
}

// libarchive 3.6 fails to decode most PPMd packages with the x86 filter: that must be an
// error, never a success with wrong contents.
struct PpmdBcjCase {
    std::size_t size;
    std::uint32_t seed;
    bool must_extract; // one that libarchive does decode: shows the edited package is sound
};

void PrintTo(const PpmdBcjCase& c, std::ostream* os) { *os << c.size << " bytes"; }

class ExtractPpmdBcj : public Extract, public testing::WithParamInterface<PpmdBcjCase> {};

TEST_P(ExtractPpmdBcj, either_comes_out_exact_or_fails)
{
    const std::string contents = sample(GetParam().size, GetParam().seed);
    const std::string package = write_package(Format{"7z_ppmd", "7zip", {{"compression", "ppmd"}}}, {{"a.txt", contents}});
    archiver_test::add_x86_filter_to_ppmd_7z(package);

    const auto result = extract(package);

    if (result.status == 0 || GetParam().must_extract) {
        EXPECT_EQ(result.status, 0) << result.errors;
        EXPECT_EQ(extracted(), (std::map<std::string, std::string>{{"a.txt", contents}}));
    } else {
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.errors.rfind("7za: " + package + ": ", 0), 0u) << result.errors;
        EXPECT_FALSE(fs::exists(out() + "/a.txt"));
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ExtractPpmdBcj, testing::Values(PpmdBcjCase{20'000, 2, true}, PpmdBcjCase{1'000, 6, false},
                                                             PpmdBcjCase{300'000, 6, false}));

// --- not a package at all ---------------------------------------------------------------------

struct NotPackageCase {
    const char* label;
    const char* contents; // nullptr: no file at all
    bool folder = false;  // a folder in the package's place
};

void PrintTo(const NotPackageCase& c, std::ostream* os) { *os << c.label; }

class ExtractNotPackage : public Extract, public testing::WithParamInterface<NotPackageCase> {};

TEST_P(ExtractNotPackage, fails_without_creating_the_folder)
{
    const std::string package = dir_.file("package.zreg");
    if (GetParam().contents != nullptr)
        dir_.write("package.zreg", GetParam().contents);
    if (GetParam().folder)
        fs::create_directory(package);

    const auto result = extract(package);

    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors.rfind("7za: " + package + ": ", 0), 0u) << result.errors;
    EXPECT_FALSE(fs::exists(out()));
}

INSTANTIATE_TEST_SUITE_P(Inputs, ExtractNotPackage,
    testing::Values(NotPackageCase{"text", "depth 1200.5 gas 0.3\nthis is not an archive\n"},
                    NotPackageCase{"empty", ""},
                    NotPackageCase{"missing", nullptr},
                    NotPackageCase{"folder", nullptr, true}),
    [](const testing::TestParamInfo<NotPackageCase>& info) { return std::string(info.param.label); });

// --- the command line -------------------------------------------------------------------------

class ExtractCommandLine : public Extract, public testing::WithParamInterface<std::vector<std::string>> {};

// PKG and OUT stand for a valid package and folder, so only the form of the line is wrong.
TEST_P(ExtractCommandLine, prints_usage_and_exits_2_when_wrong)
{
    const std::string package = write_package(seven_zip_lzma2, {{"a.txt", "a"}});
    std::vector<std::string> arguments = GetParam();
    for (std::string& a : arguments) {
        if (a == "PKG")
            a = package;
        else if (a.ends_with("OUT"))
            a = a.substr(0, a.size() - 3) + out();
    }

    const auto result = run(arguments);

    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors.rfind("usage: 7za e PACKAGE -oFOLDER -r\n", 0), 0u) << result.errors;
    EXPECT_FALSE(fs::exists(out()));
}

INSTANTIATE_TEST_SUITE_P(Lines, ExtractCommandLine,
    testing::Values(std::vector<std::string>{},
                    std::vector<std::string>{"e", "PKG", "-oOUT"},
                    std::vector<std::string>{"x", "PKG", "-oOUT", "-r"},
                    std::vector<std::string>{"e", "PKG", "OUT", "-r"},
                    std::vector<std::string>{"e", "PKG", "-o", "-r"},
                    std::vector<std::string>{"e", "-oOUT", "PKG", "-r"},
                    std::vector<std::string>{"e", "", "-oOUT", "-r"},
                    std::vector<std::string>{"e", "PKG", "-oOUT", "-r", "-y"}));

} // namespace
