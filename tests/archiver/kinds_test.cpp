// The built 7za on what tells one package from another: the signature at the start of the
// file, the size each entry declares, and which of damaged, encrypted or unknown a failure is.

#include "Test_archive.h"

#include "core/support/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;
using archiver_test::Entry;
using archiver_test::Format;

class Kinds : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }

    archiver_test::RunResult extract(const std::string& package)
    {
        return archiver_test::run_7za({"e", package, "-o" + out(), "-r"}, dir_.file("stderr.txt"));
    }
    std::string out() const { return dir_.file("out"); }
    std::string write(const std::string& name, const std::string& bytes) const { return dir_.write(name, bytes); }

    std::map<std::string, std::string> extracted() const
    {
        std::map<std::string, std::string> files;
        if (fs::exists(out()))
            for (const auto& item : fs::directory_iterator(out()))
                files[item.path().filename().string()] = testsupport::read_file(item.path().string());
        return files;
    }

    testsupport::TempDir dir_;
};

// A zip stored last in a RAR: libarchive alone would bid the zip reader higher, having found
// the zip's end record at the end of the file, and unpack the inner zip's entries.
TEST_F(Kinds, an_archive_inside_another_comes_out_as_one_file)
{
    const std::string inner_path = dir_.file("inner.zip");
    archiver_test::write_archive(inner_path, Format{"zip_store", "zip", {{"compression", "store"}}},
                                 {{"inner.txt", "inside the inner zip"}});
    const std::string inner = testsupport::read_file(inner_path);
    const std::string package = write("package.rar", archiver_test::rar4_stored({{"notes.txt", "outer"}, {"inner.zip", inner}}));

    const auto result = extract(package);

    ASSERT_EQ(result.status, 0) << result.errors;
    const std::map<std::string, std::string> expected{{"notes.txt", "outer"}, {"inner.zip", inner}};
    EXPECT_EQ(extracted(), expected);
}

// --- an entry that holds fewer bytes than it declares --------------------------------------------

// Raises the uncompressed size of the only entry, in its local header and in the central
// directory, leaving the data and its CRC as they are.
void declare_larger_size(const std::string& path, std::uint32_t declared)
{
    std::string bytes = testsupport::read_file(path);
    const auto put = [&bytes](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    };
    put(22, declared); // local file header: uncompressed size at offset 22
    const auto central = bytes.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    put(central + 24, declared); // central directory header: uncompressed size at offset 24
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class ShortZipEntry : public Kinds, public testing::WithParamInterface<Format> {};

TEST_P(ShortZipEntry, is_damage_and_leaves_no_file)
{
    const std::string package = dir_.file("package.zip");
    archiver_test::write_archive(package, GetParam(), {{"hello.txt", "hello"}});
    declare_larger_size(package, 9);

    const auto result = extract(package);

    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.errors.find("damaged package"), std::string::npos) << result.errors;
    EXPECT_FALSE(fs::exists(out() + "/hello.txt"));
}

INSTANTIATE_TEST_SUITE_P(Methods, ShortZipEntry,
    testing::Values(Format{"store", "zip", {{"compression", "store"}}}, Format{"deflate", "zip", {{"compression", "deflate"}}}),
    [](const testing::TestParamInfo<Format>& info) { return info.param.label; });

// --- which failure it is ------------------------------------------------------------------------

struct MessageCase {
    const char* label;
    std::string (*make)(const testsupport::TempDir& dir); // writes the package, returns its path
    const char* says;
};

void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.label; }

class FailureMessage : public Kinds, public testing::WithParamInterface<MessageCase> {};

TEST_P(FailureMessage, names_the_kind_of_failure)
{
    const std::string package = GetParam().make(dir_);

    const auto result = extract(package);

    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors.rfind("7za: " + package + ": " + GetParam().says, 0), 0u) << result.errors;
    EXPECT_TRUE(extracted().empty());
}

std::string zip_written(const testsupport::TempDir& dir, const std::string& encryption)
{
    const std::string path = dir.file("package.zip");
    archiver_test::write_archive(path, Format{"zip", "zip", {{"encryption", encryption}}}, {{"secret.txt", "secret data"}},
                                 "password");
    return path;
}

// The RAR 5 signature, then an encryption header: CRC-32, size 1 + 1 + 1 + 1 + 1 + 16, type 4,
// flags 0, version 0, flags 0, KDF count 15, salt.
const std::string rar5_encrypted_headers = std::string("Rar!\x1a\x07\x01\x00", 8) + std::string("\0\0\0\0", 4)
    + std::string("\x15\x04\x00\x00\x00\x0f", 6) + std::string(16, '\x5a');

// The RAR 5 signature; a main header; a file header whose extra area holds an encryption
// record (size 2, type 1); the end header. Each header: CRC-32 (not checked before the
// data), size, type, flags, then its fields.
const std::string rar5_encrypted_file = std::string("Rar!\x1a\x07\x01\x00", 8)
    + std::string("\0\0\0\0\x03\x01\x00\x00", 8)
    // type 2, flags: extra area and data area; extra size 3, data size 0; file flags 0,
    // unpacked size 0, attributes 0, compression 0, host 0, name "a"; the extra area.
    + std::string("\0\0\0\0\x0e\x02\x03\x03\x00\x00\x00\x00\x00\x00\x01" "a" "\x02\x01\x00", 19)
    + std::string("\0\0\0\0\x03\x05\x00\x00", 8);

INSTANTIATE_TEST_SUITE_P(Cases, FailureMessage,
    testing::Values(
        MessageCase{"zip_traditional_encryption", [](const auto& dir) { return zip_written(dir, "zipcrypt"); },
                    "encrypted package"},
        MessageCase{"zip_aes_encryption", [](const auto& dir) { return zip_written(dir, "aes256"); }, "encrypted package"},
        MessageCase{"rar5_encrypted_headers", [](const auto& dir) { return dir.write("package.rar", rar5_encrypted_headers); },
                    "encrypted package"},
        MessageCase{"rar5_encrypted_file", [](const auto& dir) { return dir.write("package.rar", rar5_encrypted_file); },
                    "encrypted package"},
        MessageCase{"rar4_encrypted_headers",
                    [](const auto& dir) { return dir.write("package.rar", archiver_test::rar4_stored({{"a.txt", "a"}}, 0x0080)); },
                    "encrypted package"},
        // A damaged local header whose encryption bit came on; the central directory knows better.
        MessageCase{"zip_with_a_flag_bit_flipped",
                    [](const auto& dir) {
                        const std::string path = dir.file("package.zip");
                        archiver_test::write_archive(path, Format{"zip", "zip", {{"compression", "deflate"}}},
                                                     {{"a.txt", std::string(1000, 'a')}});
                        std::string bytes = testsupport::read_file(path);
                        bytes[6] = static_cast<char>(bytes[6] | 1); // general purpose flags, bit 0
                        return dir.write("package.zip", bytes);
                    },
                    "damaged package"},
        MessageCase{"zip_cut_short",
                    [](const auto& dir) {
                        const std::string path = dir.file("package.zip");
                        archiver_test::write_archive(path, Format{"zip", "zip", {{"compression", "deflate"}}},
                                                     {{"a.txt", std::string(100'000, 'a')}});
                        fs::resize_file(path, 60);
                        return path;
                    },
                    "damaged package"},
        MessageCase{"rar4_one_volume_of_a_set",
                    [](const auto& dir) {
                        return dir.write("package.part1.rar", archiver_test::rar4_stored({{"a.txt", "a"}}, 0x0101));
                    },
                    "one volume of a RAR 4 volume set"},
        MessageCase{"text", [](const auto& dir) { return dir.write("package.rar", "Rar! is how this text starts"); },
                    "not an archive of a known kind"}),
    [](const testing::TestParamInfo<MessageCase>& info) { return std::string(info.param.label); });

// --- RAR data that libarchive fails go to unar, whose files must pass the same checks --------

const std::string public_data = ARCHIVER_TEST_DATA;

std::string with_byte_flipped(const testsupport::TempDir& dir, const std::string& bytes, std::size_t at)
{
    std::string damaged = bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x55);
    return dir.write("package.rar", damaged);
}

struct SecondDecoderCase {
    const char* label;
    std::string (*make)(const testsupport::TempDir& dir);
    const char* path; // PATH for 7za; nullptr keeps ours
    const char* mentions;
};

void PrintTo(const SecondDecoderCase& c, std::ostream* os) { *os << c.label; }

class SecondDecoder : public Kinds, public testing::WithParamInterface<SecondDecoderCase> {};

TEST_P(SecondDecoder, fails_with_nothing_left_behind)
{
    const std::string package = GetParam().make(dir_);
    const std::string saved_path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    if (GetParam().path != nullptr)
        ::setenv("PATH", GetParam().path, 1);

    const auto result = extract(package);
    ::setenv("PATH", saved_path.c_str(), 1);

    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors.rfind("7za: " + package + ": damaged package: ", 0), 0u) << result.errors;
    EXPECT_NE(result.errors.find(GetParam().mentions), std::string::npos) << result.errors;
    EXPECT_TRUE(extracted().empty()) << "the private folder and partial files are removed";
}

INSTANTIATE_TEST_SUITE_P(Cases, SecondDecoder,
    testing::Values(
        SecondDecoderCase{"multi_block_rar4_with_a_flipped_byte",
                          [](const auto& dir) {
                              return with_byte_flipped(
                                  dir, testsupport::read_file(public_data + "/test_read_format_rar_multi_lzss_blocks.rar"), 10'000);
                          },
                          nullptr, "unar:"},
        SecondDecoderCase{"stored_rar4_with_a_flipped_byte",
                          [](const auto& dir) {
                              const std::string bytes = archiver_test::rar4_stored({{"a.txt", std::string(1000, 'a')}});
                              return with_byte_flipped(dir, bytes, bytes.size() - 500);
                          },
                          nullptr, "unar:"},
        SecondDecoderCase{"sound_multi_block_rar4_without_unar",
                          [](const auto& dir) {
                              return dir.write("package.rar",
                                               testsupport::read_file(public_data + "/test_read_format_rar_multi_lzss_blocks.rar"));
                          },
                          "/nonexistent", "cannot run lsar"}),
    [](const testing::TestParamInfo<SecondDecoderCase>& info) { return std::string(info.param.label); });

// --- self-extracting RAR archives ---------------------------------------------------------------

// An executable stub of `size` bytes that starts with `magic`; its filler holds no signature.
std::string stub(std::string_view magic, std::size_t size)
{
    std::string bytes(magic);
    bytes.resize(size, 'x');
    return bytes;
}

struct SfxCase {
    const char* label;
    std::string prefix;    // what stands before the archive
    std::string archive;   // a file of tests/archiver/data
    bool unpacked;         // false: refused as of no known kind
};

void PrintTo(const SfxCase& c, std::ostream* os) { *os << c.label; }

class SelfExtracting : public Kinds, public testing::WithParamInterface<SfxCase> {};

// The stub is passed over as libarchive does: a RAR signature at a 16-byte step within the
// first 128 KiB of an "MZ" or ELF file; the files are those of the archive without the stub.
TEST_P(SelfExtracting, the_archive_past_an_executable_stub_is_unpacked_like_the_archive_alone)
{
    const std::string archive = testsupport::read_file(public_data + "/" + GetParam().archive);
    const auto plain = extract(write("plain.rar", archive));
    ASSERT_EQ(plain.status, 0) << plain.errors;
    const auto expected = extracted();
    ASSERT_FALSE(expected.empty());
    fs::remove_all(out());

    const std::string package = write("package.exe", GetParam().prefix + archive);
    const auto result = extract(package);

    if (GetParam().unpacked) {
        ASSERT_EQ(result.status, 0) << result.errors;
        EXPECT_EQ(extracted(), expected);
    }
    else {
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.errors.find("not an archive of a known kind"), std::string::npos) << result.errors;
        EXPECT_TRUE(extracted().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Stubs, SelfExtracting,
    testing::Values(SfxCase{"windows_stub_before_rar4", stub("MZ", 0x1A000), "test_read_format_rar.rar", true},
                    SfxCase{"small_windows_stub_before_rar4", stub("MZ", 0x200), "test_read_format_rar.rar", true},
                    SfxCase{"elf_stub_before_rar5", stub("\x7F" "ELF", 0x10000), "test_read_format_rar5_compressed.rar", true},
                    SfxCase{"a_stub_as_long_as_the_search", stub("MZ", 128 * 1024), "test_read_format_rar.rar", false},
                    SfxCase{"signature_off_the_16_byte_steps", stub("MZ", 0x208), "test_read_format_rar.rar", false},
                    SfxCase{"no_executable_before_the_archive", stub("XX", 0x200), "test_read_format_rar.rar", false}),
    [](const testing::TestParamInfo<SfxCase>& info) { return std::string(info.param.label); });

} // namespace
