#include "lib/io/Binary_io.h"

#include "support/LockHolder.h"
#include "support/Expect.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>

using namespace lib::io;
using testsupport::TempDir;
using testsupport::message_of;
using Clock = std::chrono::steady_clock;

namespace {

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The three input streams over the same bytes, so that every reader test runs on each.
enum class Backend { mapped, plain_file, memory };

struct Opened {
    std::unique_ptr<BinaryInputStream> stream;
};

Opened open_backend(Backend backend, const TempDir& dir, std::string_view bytes)
{
    Opened opened;
    if (backend == Backend::memory) {
        auto memory = std::make_unique<BinaryMemoryInputStream>();
        memory->set_data(bytes.data(), bytes.size());
        opened.stream = std::move(memory);
        return opened;
    }
    const std::string path = dir.write("input.bin", bytes);
    if (backend == Backend::mapped) {
        auto mapped = std::make_unique<InputMappedFile>();
        mapped->open(path, false);
        opened.stream = std::move(mapped);
    }
    else {
        auto plain = std::make_unique<BinaryInputFileStream>();
        plain->open(path, false);
        opened.stream = std::move(plain);
    }
    return opened;
}

std::string eof_text(Backend backend)
{
    switch (backend) {
    case Backend::mapped:
        return "InputMappedFile::read: eof";
    case Backend::plain_file:
        return "BinaryInputFileStream::read: eof";
    case Backend::memory:
        return "BinaryMemoryInputStream::read: out of range";
    }
    return {};
}

class InputStreams : public ::testing::TestWithParam<Backend> {
protected:
    TempDir dir;
};

} // namespace

TEST_P(InputStreams, ReadsValuesAndStringsInOrder)
{
    BinaryMemoryOutputStream out;
    out.set_encoding(lib::enc_1251);
    out.write_value<std::int32_t>(-7);
    out.write_string("Глубина");
    out.write_string("");
    out.write_value<double>(2.5);
    Opened in = open_backend(GetParam(), dir, std::string_view(out.data(), out.size()));

    EXPECT_EQ(in.stream->read_value<std::int32_t>(), -7);
    EXPECT_EQ(in.stream->read_string(), "Глубина"); // input streams start in 1251
    EXPECT_EQ(in.stream->read_string(), "");
    EXPECT_EQ(in.stream->read_value<double>(), 2.5);
    EXPECT_TRUE(in.stream->eof());
}

TEST_P(InputStreams, AReadOfFourBytesWhenThreeRemainThrowsItsEofText)
{
    Opened in = open_backend(GetParam(), dir, "abcdefg");
    in.stream->skip(4);
    char buffer[4];
    EXPECT_EQ(message_of([&] { in.stream->read(buffer, 4); }), eof_text(GetParam()));
}

TEST_P(InputStreams, AReadAtTheVeryEndThrows)
{
    Opened in = open_backend(GetParam(), dir, "ab");
    char buffer[2];
    in.stream->read(buffer, 2);
    const std::string expected =
        GetParam() == Backend::memory ? "BinaryMemoryInputStream::read: eof() == true" : eof_text(GetParam());
    EXPECT_EQ(message_of([&] { in.stream->read_u8(); }), expected);
}

TEST_P(InputStreams, AStringWithoutItsZeroByteThrowsInsteadOfRunningOn)
{
    Opened in = open_backend(GetParam(), dir, std::string_view("\x01no zero here", 13));
    in.stream->read_u8();
    EXPECT_THROW(in.stream->read_string(), std::runtime_error);
}

TEST_P(InputStreams, SkippingFarPastTheEndMakesTheNextReadFail)
{
    Opened in = open_backend(GetParam(), dir, "abcd");
    in.stream->skip(std::numeric_limits<std::int64_t>::max());
    in.stream->skip(std::numeric_limits<std::int64_t>::max());
    EXPECT_TRUE(in.stream->eof());
    EXPECT_THROW(in.stream->read_u8(), std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(EachBackend, InputStreams,
                         ::testing::Values(Backend::mapped, Backend::plain_file, Backend::memory),
                         [](const auto& info) {
                             switch (info.param) {
                             case Backend::mapped:
                                 return std::string("Mapped");
                             case Backend::plain_file:
                                 return std::string("PlainFile");
                             case Backend::memory:
                                 return std::string("Memory");
                             }
                             return std::string();
                         });

TEST(StringRoundTrip, EachEncodingGivesBackCyrillicText)
{
    const std::string text = "Скважина №7 — куст 12";
    struct Case {
        lib::StrEncoding encoding;
        std::string expected;
    };
    // 866 and 1251 lack the em dash and the numero sign is only in 1251 and 866's table.
    const Case cases[] = {
        {lib::enc_866, "Скважина №7 ? куст 12"},
        {lib::enc_1251, "Скважина №7 — куст 12"},
        {lib::enc_utf8, text},
    };
    for (const Case& c : cases) {
        BinaryMemoryOutputStream out;
        out.set_encoding(c.encoding);
        out.write_string(text);
        BinaryMemoryInputStream in;
        in.set_encoding(c.encoding);
        in.set_data(out.data(), out.size());
        EXPECT_EQ(in.read_string(), c.expected) << "encoding " << c.encoding;
    }
}

TEST(StringRoundTrip, TheEmptyTextIsOneZeroByte)
{
    BinaryMemoryOutputStream out;
    out.write_string("");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out.data()[0], '\0');
    BinaryMemoryOutputStream empty;
    EXPECT_EQ(empty.data(), nullptr);
}

TEST(OSFileOpen, AMissingFileIsReportedAtOnce)
{
    TempDir dir;
    const auto start = Clock::now();
    OSFile file;
    try {
        file.open(dir.file("absent.bin"), open_read, false);
        FAIL() << "no exception";
    }
    catch (const FileNotFoundError& error) {
        EXPECT_STREQ(error.what(), "Файл не найден!");
        EXPECT_EQ(error.path(), dir.file("absent.bin"));
    }
    EXPECT_LT(seconds_since(start), 0.5);
    EXPECT_EQ(message_of([&] { file.open(dir.file("no/such/folder.bin"), open_read, false); }), "Файл не найден!");
}

TEST(OSFileOpen, AFolderOrPipeIsRefusedWithoutWaiting)
{
    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = Clock::now();
    OSFile file;
    EXPECT_EQ(message_of([&] { file.open(dir.folder(), open_read, false); }), "Невозможно открыть файл!");
    EXPECT_EQ(message_of([&] { file.open(fifo, open_read, false); }), "Невозможно открыть файл!");
    EXPECT_LT(seconds_since(start), 0.5);
}

TEST(OSFileOpen, AReaderWaitsForAWriterAndGivesUpAfterTwoSeconds)
{
    TempDir dir;
    const std::string path = dir.write("held.bin", "old contents");
    testsupport::LockHolder writer(path, open_append, false, std::chrono::milliseconds(3500));
    const auto start = Clock::now();
    OSFile file;
    EXPECT_EQ(message_of([&] { file.open(path, open_read, false); }), "Невозможно открыть файл!");
    EXPECT_GE(seconds_since(start), 1.8);
    EXPECT_FALSE(file.is_open());
}

TEST(OSFileOpen, AReaderGetsInOnceAWriterLetsGoWithinTheRetries)
{
    TempDir dir;
    const std::string path = dir.write("held.bin", "contents");
    testsupport::LockHolder writer(path, open_append, false, std::chrono::milliseconds(400));
    OSFile file;
    EXPECT_NO_THROW(file.open(path, open_read, false));
    EXPECT_TRUE(file.is_open());
}

TEST(OSFileOpen, AWriterDoesNotEmptyAFileThatSomeoneReads)
{
    TempDir dir;
    const std::string path = dir.write("read.bin", "precious");
    testsupport::LockHolder reader(path, open_read, false, std::chrono::milliseconds(3000));
    OSFile file;
    EXPECT_EQ(message_of([&] { file.open(path, open_write, false); }), "Невозможно открыть файл!");
    EXPECT_EQ(testsupport::read_file(path), "precious");
}

TEST(OSFileOpen, TwoReadersShareAFileButTheLockIsExclusive)
{
    TempDir dir;
    const std::string path = dir.write("shared.bin", "data");
    testsupport::LockHolder plain_reader(path, open_read, false, std::chrono::milliseconds(200));
    OSFile second;
    EXPECT_NO_THROW(second.open(path, open_read, false));
    second.close();

    testsupport::LockHolder locking_reader(path, open_read, true, std::chrono::milliseconds(3000));
    EXPECT_EQ(message_of([&] { second.open(path, open_read, true); }), "Невозможно заблокировать файл!");
}

TEST(OSFileWrite, WritingWithoutAnOpenFileIsRefused)
{
    OSFile file;
    EXPECT_EQ(message_of([&] { file.write("x", 1); }), "Попытка записи в файл с дескриптором 0xFFFFFFFF!");
    BinaryOutputFileStream stream;
    stream.write("x", 1);
    EXPECT_EQ(message_of([&] { stream.close(); }), "Попытка записи в файл с дескриптором 0xFFFFFFFF!");
}

TEST(OSFileWrite, AppendModeKeepsTheContentsAndWritesAtTheEnd)
{
    TempDir dir;
    const std::string path = dir.write("log.bin", "abc");
    OSFile file;
    file.open(path, open_append, false);
    file.write("de", 2);
    EXPECT_EQ(file.size(), 5u);
    file.close();
    EXPECT_EQ(testsupport::read_file(path), "abcde");
    file.open(path, open_write, false);
    file.close();
    EXPECT_EQ(testsupport::read_file(path), "");
}

TEST(OSFileSeek, TheLastFourBytesAreFourFromTheEnd)
{
    TempDir dir;
    const std::string path = dir.write("seek.bin", "0123456789");
    InputMappedFile mapped;
    mapped.open(path, false);
    BinaryInputFileStream plain;
    plain.open(path, false);
    for (BinaryInputFileStream* stream : {static_cast<BinaryInputFileStream*>(&mapped), &plain}) {
        EXPECT_EQ(stream->seek(-4, SeekOrigin::from_end), 6);
        char last[4];
        stream->read(last, 4);
        EXPECT_EQ(std::string(last, 4), "6789");
        EXPECT_EQ(stream->tell(), 10);
        EXPECT_EQ(stream->seek(-3, SeekOrigin::from_current), 7);
        EXPECT_EQ(stream->seek(2, SeekOrigin::from_begin), 2);
    }
    EXPECT_EQ(plain.seek(-20, SeekOrigin::from_current), -1); // before the start: refused
    EXPECT_EQ(plain.tell(), 2);
}

TEST(OSFileTimes, TheLastWriteTimeIsNowInWindowsTicks)
{
    TempDir dir;
    BinaryOutputFileStream out;
    out.open(dir.file("t.bin"), false, false);
    out.write("abc", 3);
    FileTime written = 0;
    ASSERT_TRUE(out.file_times(nullptr, nullptr, &written));
    const std::int64_t unix_seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count();
    const std::int64_t ticks_now = 116444736000000000LL + unix_seconds * 10000000LL;
    EXPECT_NEAR(static_cast<double>(written), static_cast<double>(ticks_now), 5e7);
    EXPECT_EQ(out.file().size(), 3u); // file_times flushed the buffer
}

TEST(BinaryOutputFileStreamTest, BytesReachTheFileOncePast128KiBAndAtClose)
{
    TempDir dir;
    const std::string path = dir.file("big.bin");
    BinaryOutputFileStream out;
    out.open(path, false, false);
    const char piece[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (int i = 0; i < 20000; ++i)
        out.write(piece, sizeof piece);
    // The first write that took the buffer past 131072 bytes sent 131080 bytes; the rest waits.
    EXPECT_EQ(out.file().size(), 131080u);
    out.close();
    EXPECT_EQ(testsupport::read_file(path).size(), 200000u);
}

TEST(InputMappedFileTest, AnEmptyFileOpensAndReadsAsEnded)
{
    TempDir dir;
    InputMappedFile mapped;
    mapped.open(dir.write("empty.bin", ""), false);
    EXPECT_TRUE(mapped.eof());
    EXPECT_EQ(mapped.size(), 0u);
    EXPECT_EQ(message_of([&] { mapped.read_u8(); }), "InputMappedFile::read: eof");
}

TEST(InputMappedFileTest, NegativePositionsNeverReadBeforeTheView)
{
    TempDir dir;
    InputMappedFile mapped;
    mapped.open(dir.write("a.bin", "abcdef"), false);
    mapped.seek(-10, SeekOrigin::from_begin);
    EXPECT_TRUE(mapped.eof());
    EXPECT_EQ(message_of([&] { mapped.read_u8(); }), "InputMappedFile::read: eof");
    EXPECT_THROW(mapped.read_string(), std::runtime_error);
}

TEST(OpenInputFile, PrefersTheMappingAndSetsTheEncoding)
{
    TempDir dir;
    const std::string path = dir.write("enc.bin", std::string_view("\xD0\x94\xD0\xB0\0", 5)); // "Да" in UTF-8
    auto stream = open_input_file(path, true, lib::enc_utf8);
    ASSERT_NE(dynamic_cast<InputMappedFile*>(stream.get()), nullptr);
    EXPECT_TRUE(stream->file().locked());
    EXPECT_EQ(stream->read_string(), "Да");
    EXPECT_THROW(open_input_file(dir.file("missing"), false, lib::enc_1251), FileNotFoundError);
}

TEST(FileErrorTest, DescribesTheFileAndTheReason)
{
    const FileError error("Невозможно открыть файл!", "/data/x.realtim", EACCES);
    EXPECT_EQ(error.describe(), "Невозможно открыть файл! (/data/x.realtim): нет прав доступа");
}
