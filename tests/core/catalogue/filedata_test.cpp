#include "catalogue/Filedata.h"

#include "lib/io/Binary_io.h"
#include "support/TempDir.h"
#include "testkit/Bytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

using testkit::ByteWriter;
using testkit::Bytes;
using testsupport::TempDir;

namespace {

using Entries = std::vector<std::pair<std::string, std::int32_t>>;

Entries entries_of(const FilesDataStorage& storage)
{
    Entries entries;
    for (const auto& [path, data] : storage.entries())
        entries.emplace_back(path, data.size);
    return entries;
}

Bytes file_bytes(const std::string& path)
{
    const std::string contents = testsupport::read_file(path);
    return Bytes(contents.begin(), contents.end());
}

// A cache file's header as the program writes it, with the version and count given.
ByteWriter header(std::int32_t version, std::int32_t count)
{
    ByteWriter writer;
    writer.put_string("FILESDATASTORE", lib::enc_1251).put_i32(version).put_i32(count);
    return writer;
}

std::size_t entries_in(const std::string& folder)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
}

} // namespace

TEST(FilesDataStorageSave, AnEmptyMapIsTheHeaderAlone)
{
    TempDir dir;
    const std::string path = dir.write("TemporaryFileData.bin", std::string(100, 'x')); // an older, longer cache
    FilesDataStorage().save(path);
    EXPECT_EQ(testkit::hex_dump(file_bytes(path)),
              "46 49 4C 45 53 44 41 54 41 53 54 4F 52 45 00 " // "FILESDATASTORE" and its zero byte
              "01 00 00 00 "                                   // version 1
              "00 00 00 00");                                  // no entries
    EXPECT_EQ(file_bytes(path).size(), FilesDataStorage::header_size);
}

TEST(FilesDataStorageSave, WritesEntriesInKeyOrderWithPathsInCodePage1251)
{
    TempDir dir;
    FilesDataStorage storage;
    storage.store("/in/б.zreg", 1000);
    storage.store("/in/a.rar", -1);
    const std::string path = dir.file("TemporaryFileData.bin");
    storage.save(path);

    const Bytes expected = {
        0x46, 0x49, 0x4C, 0x45, 0x53, 0x44, 0x41, 0x54, 0x41, 0x53, 0x54, 0x4F, 0x52, 0x45, 0x00, // magic
        0x01, 0x00, 0x00, 0x00,                                     // version 1
        0x02, 0x00, 0x00, 0x00,                                     // two entries
        0x2F, 0x69, 0x6E, 0x2F, 0x61, 0x2E, 0x72, 0x61, 0x72, 0x00, // "/in/a.rar"
        0xFF, 0xFF, 0xFF, 0xFF,                                     // -1: not found when recorded
        0x2F, 0x69, 0x6E, 0x2F, 0xE1, 0x2E, 0x7A, 0x72, 0x65, 0x67, 0x00, // "/in/б.zreg", б = E1 in 1251
        0xE8, 0x03, 0x00, 0x00,                                     // 1000
    };
    EXPECT_EQ(testkit::hex_dump(file_bytes(path)), testkit::hex_dump(expected));
    EXPECT_EQ(entries_in(dir.folder()), 1u); // no temporary file left beside it

    FilesDataStorage loaded;
    loaded.load(path);
    EXPECT_EQ(entries_of(loaded), (Entries{{"/in/a.rar", -1}, {"/in/б.zreg", 1000}}));
}

TEST(FilesDataStorageLoad, KeepsWhatTheFileHoldsWholeAndNothingElse)
{
    struct Case {
        const char* what;
        Bytes bytes;
        Entries expected;
    };
    const std::uint8_t undefined_byte_path[] = {'/', 'i', 'n', '/', 0x98, '.', 'r', 'a', 'r', 0};
    const Case cases[] = {
        {"an empty file", {}, {}},
        {"a foreign magic text", ByteWriter().put_string("FILESDATASTORX", lib::enc_1251).put_i32(1).put_i32(0).take(), {}},
        {"magic without its zero byte", Bytes{'F', 'I', 'L', 'E', 'S'}, {}},
        {"version 2", header(2, 1).put_string("/in/a.rar", lib::enc_1251).put_i32(5).take(), {}},
        {"no count", ByteWriter().put_string("FILESDATASTORE", lib::enc_1251).put_i32(1).take(), {}},
        {"a negative count", header(1, -1).put_string("/in/a.rar", lib::enc_1251).put_i32(5).take(), {}},
        {"more entries counted than present",
         header(1, 5).put_string("/in/a.rar", lib::enc_1251).put_i32(5).put_string("/in/b.rar", lib::enc_1251).put_i32(6).take(),
         {{"/in/a.rar", 5}, {"/in/b.rar", 6}}},
        {"an entry cut inside its size",
         header(1, 2).put_string("/in/a.rar", lib::enc_1251).put_i32(5).put_string("/in/b.rar", lib::enc_1251).put_u8(6).take(),
         {{"/in/a.rar", 5}}},
        {"an entry cut inside its path",
         header(1, 2).put_string("/in/a.rar", lib::enc_1251).put_i32(5).put_u8('/').put_u8('i').take(),
         {{"/in/a.rar", 5}}},
        {"a repeated path keeps the last size",
         header(1, 3)
             .put_string("/in/a.rar", lib::enc_1251).put_i32(5)
             .put_string("/in/b.rar", lib::enc_1251).put_i32(6)
             .put_string("/in/a.rar", lib::enc_1251).put_i32(7)
             .take(),
         {{"/in/a.rar", 7}, {"/in/b.rar", 6}}},
        // No path encodes to the byte 0x98, so no path could ever find that entry again.
        {"a path holding the byte code page 1251 leaves undefined",
         header(1, 2).put_bytes(undefined_byte_path).put_i32(5).put_string("/in/b.rar", lib::enc_1251).put_i32(6).take(),
         {{"/in/b.rar", 6}}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.file("TemporaryFileData.bin");
        testkit::write_file(path, c.bytes);
        FilesDataStorage storage;
        storage.store("/in/from-before-the-load.zip", 1); // load starts from an empty map
        storage.load(path);
        EXPECT_EQ(entries_of(storage), c.expected) << c.what;
        for (const auto& [key, data] : storage.entries()) {
            std::int32_t found = 0;
            EXPECT_TRUE(storage.find(key, found) && found == data.size) << c.what << ": " << key;
        }
    }
}

TEST(FilesDataStorageLoad, AMissingCacheFileLeavesTheMapEmpty)
{
    TempDir dir;
    FilesDataStorage storage;
    storage.store("/in/a.rar", 5);
    storage.load(dir.file("TemporaryFileData.bin"));
    EXPECT_TRUE(storage.entries().empty());
}

TEST(FilesDataStorage, FindGivesTheLastStoredSizeOfTheExactPathUntilErased)
{
    FilesDataStorage storage;
    storage.store("/in/a.rar", 5);
    storage.store("/in/a.rar", 6);
    std::int32_t size = 0;
    EXPECT_TRUE(storage.find("/in/a.rar", size));
    EXPECT_EQ(size, 6);
    size = 42;
    EXPECT_FALSE(storage.find("/in/A.rar", size)); // paths are case-sensitive
    EXPECT_EQ(size, 42);
    storage.erase("/in/a.rar");
    storage.erase("/in/never.rar");
    EXPECT_FALSE(storage.find("/in/a.rar", size));
}

TEST(FilesDataStorage, APathOutsideCodePage1251IsStillKnownAfterARestart)
{
    TempDir dir;
    const std::string path = dir.file("TemporaryFileData.bin");
    FilesDataStorage storage;
    storage.store("/in/Қарағанды/日本.zreg", 77);
    std::int32_t size = 0;
    EXPECT_TRUE(storage.find("/in/Қарағанды/日本.zreg", size));
    storage.save(path);
    storage.load(path);
    size = 0;
    EXPECT_TRUE(storage.find("/in/Қарағанды/日本.zreg", size)); // not unpacked again on every run
    EXPECT_EQ(size, 77);
    // The file keeps its format: the letters code page 1251 lacks are "?".
    EXPECT_EQ(entries_of(storage), (Entries{{"/in/?ара?анды/??.zreg", 77}}));
    storage.erase("/in/Қарағанды/日本.zreg");
    EXPECT_TRUE(storage.entries().empty());
}

TEST(FilesDataStorage, KeysFollowUtf16OrderAboveUFFFF)
{
    // U+1F600 is a surrogate pair in UTF-16 and comes before U+E000..U+FFFF, although its
    // UTF-8 lead byte F0 is above their EE and EF.
    const Utf16Less less;
    EXPECT_TRUE(less("a", "ab"));
    EXPECT_FALSE(less("ab", "ab"));
    EXPECT_TRUE(less("/in/\U0001F600.zreg", "/in/\uE000.zreg"));
    EXPECT_TRUE(less("/in/\uD7FF.zreg", "/in/\U0001F600.zreg"));
    EXPECT_TRUE(less("\xF4\x8F\xBF\xBF", "\xEE\x80\x80")); // U+10FFFF before U+E000
    EXPECT_TRUE(less("\xF0\x90\x80\x80", "\xF0\x90\x80\x81"));
}

TEST(FilesDataStorageSave, AFailedSaveIsAFileErrorAndLeavesNoFile)
{
    TempDir dir;
    FilesDataStorage storage;
    storage.store("/in/a.rar", 5);
    EXPECT_THROW(storage.save(dir.file("missing/TemporaryFileData.bin")), lib::io::FileError);

    // A folder in the cache file's place cannot be replaced by a file.
    const std::string occupied = dir.file("TemporaryFileData.bin");
    std::filesystem::create_directory(occupied);
    EXPECT_THROW(storage.save(occupied), lib::io::FileError);
    EXPECT_TRUE(std::filesystem::is_directory(occupied));
    EXPECT_EQ(entries_in(dir.folder()), 1u);
}
