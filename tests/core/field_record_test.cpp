// The program's small files keep their numbers little-endian whatever the machine, so that a
// home moved to another machine reads the same: the bytes themselves are checked.
#include "lib/io/Field_record.h"
#include "storage/Merge_index.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using testsupport::TempDir;

TEST(FieldRecord, NumbersGoLittleEndianAndComeBackTheSame)
{
    lib::io::FieldWriter w;
    w.put(std::uint32_t{0x01020304});
    w.put(std::int64_t{-2});
    w.put(1.0f);
    w.put(std::string("ab"));
    EXPECT_EQ(w.out, std::string("\x04\x03\x02\x01"
                                 "\xfe\xff\xff\xff\xff\xff\xff\xff"
                                 "\x00\x00\x80\x3f"
                                 "\x02\x00\x00\x00"
                                 "ab",
                                 22));
    lib::io::FieldReader r(w.out);
    EXPECT_EQ(r.get<std::uint32_t>(), 0x01020304u);
    EXPECT_EQ(r.get<std::int64_t>(), -2);
    EXPECT_EQ(r.get<float>(), 1.0f);
    EXPECT_EQ(r.text(), "ab");
    EXPECT_TRUE(r.at_end());
    EXPECT_THROW(r.get<std::uint8_t>(), lib::io::DamagedFields);
}

TEST(FieldRecord, AStoredMergeIndexHoldsItsEntryLittleEndian)
{
    TempDir dir;
    storage::MergeIndex index(dir.file("MergeIndex.bin"));
    storage::WellFileSummary entry;
    entry.stamp.device = 0x0102;
    entry.whole_length = 0x0a0b0c;
    index.put("/w", entry);
    index.save();
    const std::string bytes = testsupport::read_file(dir.file("MergeIndex.bin"));
    const std::string signature = "DRVXMIX3";
    ASSERT_GT(bytes.size(), signature.size() + 6 + 8);
    EXPECT_EQ(bytes.substr(0, signature.size()), signature);
    EXPECT_EQ(bytes.substr(signature.size(), 6 + 8), std::string("\x02\x00\x00\x00/w\x02\x01\x00\x00\x00\x00\x00\x00", 14));
    const std::size_t whole_length_at = signature.size() + 6 + 5 * 8;
    EXPECT_EQ(bytes.substr(whole_length_at, 8), std::string("\x0c\x0b\x0a\x00\x00\x00\x00\x00", 8));
    const storage::MergeIndex reread(dir.file("MergeIndex.bin"));
    ASSERT_NE(reread.find("/w"), nullptr);
    EXPECT_EQ(reread.find("/w")->whole_length, 0x0a0b0cu);
}
