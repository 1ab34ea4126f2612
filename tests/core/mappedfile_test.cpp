#include "lib/Mappedfile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

using lib::mapped_file;
using testsupport::TempDir;

TEST(MappedFile, FiveIntegersGrowTheMappingGeometricallyAndLeaveExactlyTwentyBytes)
{
    TempDir dir;
    const std::string path = dir.file("ints.bin");
    {
        mapped_file file;
        ASSERT_TRUE(file.open(path, mapped_file::mode_write));
        std::vector<std::uint64_t> sizes;
        for (std::int32_t i = 1; i <= 5; ++i) {
            EXPECT_EQ(file.write_i32(i), 4 * i);
            if (sizes.empty() || sizes.back() != file.mapping_size())
                sizes.push_back(file.mapping_size());
        }
        EXPECT_EQ(sizes, (std::vector<std::uint64_t>{4, 12, 28}));
    }
    const std::string bytes = testsupport::read_file(path);
    ASSERT_EQ(bytes.size(), 20u);
    EXPECT_EQ(bytes[16], 5);
}

TEST(MappedFile, ReadsBackWhatWasWrittenAndStopsAtTheEnd)
{
    TempDir dir;
    const std::string path = dir.file("mixed.bin");
    {
        mapped_file file;
        ASSERT_TRUE(file.open(path, mapped_file::mode_write));
        file.write_i32(42);
        file.write_string("Куст");
        file.write_cstr("raw");
    }
    mapped_file file;
    ASSERT_TRUE(file.open(path, mapped_file::mode_read));
    std::int32_t value = 0;
    std::string text;
    file.read_i32(value);
    EXPECT_EQ(value, 42);
    file.read_string(text);
    EXPECT_EQ(text, "Куст"); // 1251 both ways
    file.read_string(text);
    EXPECT_EQ(text, "raw");
    EXPECT_TRUE(file.end_of_data());
    value = 7;
    file.read_i32(value);
    EXPECT_EQ(value, 7); // nothing left: the output is untouched
}

TEST(MappedFile, AStringWithoutItsZeroByteAndATruncatedIntegerLeaveTheOutputAlone)
{
    TempDir dir;
    mapped_file file;
    ASSERT_TRUE(file.open(dir.write("cut.bin", "ab"), mapped_file::mode_read));
    std::string text = "unchanged";
    file.read_string(text);
    EXPECT_EQ(text, "unchanged");
    std::int32_t value = 9;
    file.read_i32(value);
    EXPECT_EQ(value, 9);
}

TEST(MappedFile, RefusesWhatItCannotDo)
{
    TempDir dir;
    const std::string path = dir.write("ro.bin", "abcd");
    mapped_file file;
    EXPECT_FALSE(file.open(path, 2));
    EXPECT_FALSE(file.open(dir.file("missing.bin"), mapped_file::mode_read));
    ASSERT_TRUE(file.open(path, mapped_file::mode_read));
    EXPECT_FALSE(file.open(path, mapped_file::mode_read)); // already mapped
    EXPECT_EQ(file.write_i32(1), -1);                       // a read-only view is never written
    EXPECT_FALSE(file.resize(100));                         // nor grown
    EXPECT_EQ(testsupport::read_file(path), "abcd");
}

TEST(MappedFile, AnEmptyFileOpensForReadingWithNothingToRead)
{
    TempDir dir;
    mapped_file file;
    ASSERT_TRUE(file.open(dir.write("empty.bin", ""), mapped_file::mode_read));
    std::string text = "x";
    file.read_string(text);
    EXPECT_EQ(text, "x");
}

TEST(MappedFile, WritingAfterACallerCutTheFileStaysInsideTheMapping)
{
    TempDir dir;
    const std::string path = dir.file("cut-then-write.bin");
    {
        mapped_file file;
        ASSERT_TRUE(file.open(path, mapped_file::mode_write));
        for (int i = 0; i < 10; ++i)
            file.write_i32(i);
        ASSERT_TRUE(file.resize(2));
        EXPECT_EQ(file.write_i32(99), 44);
    }
    EXPECT_EQ(testsupport::read_file(path).size(), 44u);
}
