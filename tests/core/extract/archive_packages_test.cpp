#include "extract/Archive_packages.h"

#include "extract/Extractthread.h"
#include "extract/Regrarclass.h"
#include "storage/Realtimedatareader.h"
#include "support/Expect.h"
#include "support/TempDir.h"
#include "testkit/Archive_writer.h"
#include "testkit/Classic_writer.h"
#include "testkit/Compressed_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Zreg_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using testkit::ArchiveEntry;
using testkit::ArchiveFormat;
using testkit::Bytes;
using testsupport::message_of;
using testsupport::TempDir;
using testsupport::times_of;

namespace {

class UsesOurArchiver : public ::testing::Test {
protected:
    void SetUp() override { set_archiver_path(DRAVINEX_ARCHIVER); }
    void TearDown() override { set_archiver_path(""); }

    std::string temp() const { return dir.folder() + "temp/"; }

    std::vector<std::string> temp_files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(temp()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
};

testkit::ClassicRecord classic_at(std::uint32_t time)
{
    testkit::ClassicRecord r;
    r.time = time;
    r.depth_z = 3;
    r.values[1] = static_cast<float>(time) / 2;
    return r;
}

// Byte j of record i at j x N + i.
Bytes to_columns(const Bytes& rows, std::size_t record_size)
{
    const std::size_t n = rows.size() / record_size;
    Bytes columns(rows.size());
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < record_size; ++j)
            columns[j * n + i] = rows[i * record_size + j];
    return columns;
}

// The compact form: 32 divisors, the count, then 81-byte records by columns.
Bytes compact_file(const std::vector<std::int16_t>& divisors, const std::vector<std::array<std::uint16_t, 32>>& q,
                   std::int32_t count_field)
{
    Bytes rows;
    for (std::size_t i = 0; i < q.size(); ++i) {
        Bytes record(81, 0);
        record[0] = 7;
        const std::uint32_t time = 100 + static_cast<std::uint32_t>(i);
        std::memcpy(record.data() + 1, &time, 4);
        std::memcpy(record.data() + 13, q[i].data(), 64);
        record[80] = 0x5A;
        rows.insert(rows.end(), record.begin(), record.end());
    }
    testkit::ByteWriter out;
    for (std::size_t k = 0; k < 32; ++k)
        out.put_i16(k < divisors.size() ? divisors[k] : 1);
    out.put_i32(count_field);
    const Bytes columns = to_columns(rows, 81);
    out.put_bytes(columns);
    return out.take();
}

} // namespace

TEST_F(UsesOurArchiver, APlanarClassicFileIsRestoredToRecordOrder)
{
    const Bytes rows = testkit::classic_file({classic_at(1), classic_at(2), classic_at(3)});
    std::filesystem::create_directories(temp());
    testkit::write_file(temp() + "1.tim", to_columns(rows, 145));
    RegRARDecompr::convert_classic_file(temp() + "1.tim");
    EXPECT_EQ(testsupport::read_file(temp() + "1.tim"), std::string(rows.begin(), rows.end()));
}

TEST_F(UsesOurArchiver, ACompactClassicFileIsExpandedAndADivisorOfZeroGivesZero)
{
    std::filesystem::create_directories(temp());
    std::array<std::uint16_t, 32> q{};
    q[0] = 50;
    q[1] = 9;
    testkit::write_file(temp() + "2.dep", compact_file({10, 0}, {q, q}, 2)); // 68 + 162 = 230 bytes
    RegRARDecompr::convert_classic_file(temp() + "2.dep");
    const std::string bytes = testsupport::read_file(temp() + "2.dep");
    ASSERT_EQ(bytes.size(), 290u);
    float first = 0, second = -1;
    std::memcpy(&first, bytes.data() + 13, 4);
    std::memcpy(&second, bytes.data() + 17, 4);
    EXPECT_EQ(first, 5.0f);
    EXPECT_EQ(second, 0.0f);
    EXPECT_EQ(static_cast<unsigned char>(bytes[144]), 0x5A);
}

TEST_F(UsesOurArchiver, AFileOfBothSizesIsDecidedByTheCountAtOffset64)
{
    // 11745 bytes: 81 planar records of 145 bytes, or a compact header and 144 records.
    std::filesystem::create_directories(temp());
    std::vector<std::array<std::uint16_t, 32>> q(144);
    Bytes compact = compact_file({1}, q, 144);
    compact.resize(11745, 0); // 68 + 144 x 81 leaves 13 bytes to 11745
    testkit::write_file(temp() + "a.tim", compact);
    RegRARDecompr::convert_classic_file(temp() + "a.tim");
    EXPECT_EQ(std::filesystem::file_size(temp() + "a.tim"), 144u * 145);

    Bytes other = compact_file({1}, q, 143);
    other.resize(11745, 0);
    testkit::write_file(temp() + "b.tim", other);
    RegRARDecompr::convert_classic_file(temp() + "b.tim");
    EXPECT_EQ(std::filesystem::file_size(temp() + "b.tim"), 11745u); // restored as planar
}

TEST_F(UsesOurArchiver, SevenZipPackagesTurnCompr1FilesIntoRealtimeFiles)
{
    testkit::CompressedSet set = testkit::synthetic_compressed_set(40, 4, 1);
    const std::string package = dir.file("p.7z_reg");
    testkit::write_archive(package, ArchiveFormat::sevenzip_lzma2,
                           {{"data/x.realtim.compr1", testkit::single_stream(set)}, {"inpgti.ini", {'a'}}});
    extract_7z_package(package, temp());
    EXPECT_EQ(temp_files(), (std::vector<std::string>{"inpgti.ini", "x.realtim", "x.realtim.compr1"}));
    FileStorage model;
    model.load(temp() + "x.realtim");
    EXPECT_EQ(model.records.size(), 40u);
}

TEST_F(UsesOurArchiver, CompressedRealtimePackagesRebuildEachBaseOnceAndDropTheColumns)
{
    testkit::CompressedSet set = testkit::synthetic_compressed_set(10, 3, 2);
    std::vector<ArchiveEntry> entries = {{"inpgti.ini", testkit::inpgti_ini("1", "A", lib::enc_1251)}};
    for (const auto& base : {"a.realtim", "b.realdep"})
        for (const auto& m : testkit::compressed_set_members(set, 2))
            entries.push_back({std::string(base) + m.suffix, m.bytes});
    const std::string package = dir.file("p.compr2_rt");
    testkit::write_archive(package, ArchiveFormat::zip, entries);
    extract_compressed_rt(package, temp(), 2);
    EXPECT_EQ(temp_files(), (std::vector<std::string>{"a.realtim", "b.realdep", "inpgti.ini"}));
    FileStorage model;
    model.load(temp() + "b.realdep");
    EXPECT_EQ(model.records.size(), 10u);
    EXPECT_EQ(model.version, 2);
}

TEST_F(UsesOurArchiver, APackageWithoutColumnFilesRebuildsNothing)
{
    const std::string package = dir.file("p.compr_rt");
    testkit::write_archive(package, ArchiveFormat::sevenzip_bzip2, {{"1.rac", {'r'}}});
    extract_compressed_rt(package, temp(), 0);
    EXPECT_EQ(temp_files(), std::vector<std::string>{"1.rac"});
}

TEST_F(UsesOurArchiver, AMissingOrFailingArchiverFailsEveryKind)
{
    const std::string damaged = dir.file("bad.rar");
    testkit::write_file(damaged, Bytes(100, 0x42));
    EXPECT_TRUE(message_of([&] { extract_rar_package(damaged, temp()); }).starts_with("это не архив известного вида"));
    set_archiver_path(dir.file("nowhere/7za"));
    for (const auto& unpack : {std::function<void()>([&] { extract_rar_package(damaged, temp()); }),
                               std::function<void()>([&] { extract_7z_package(damaged, temp()); }),
                               std::function<void()>([&] { extract_compressed_rt(damaged, temp(), 2); })})
        EXPECT_EQ(message_of(unpack), archiver_text::missing);
}

TEST_F(UsesOurArchiver, EveryArchiveKindUnpacksIntoTheStoreThroughARun)
{
    const std::string in = dir.folder() + "in/";
    std::filesystem::create_directories(in);
    const auto identity = [](const std::string& well) {
        return ArchiveEntry{"inpgti.ini", testkit::inpgti_ini(well, "A", lib::enc_1251)};
    };
    const Bytes classic = testkit::classic_file({classic_at(10), classic_at(20)});
    testkit::write_archive(in + "1.rar", ArchiveFormat::zip,
                           {identity("r"), {"inpgti.nbl", testkit::classic_param_list({})}, {"1.tim", to_columns(classic, 145)}});
    testkit::write_archive(in + "2.7z_reg", ArchiveFormat::sevenzip_ppmd,
                           {identity("s"), {"1.realtim.compr1", testkit::single_stream(testkit::synthetic_compressed_set(5, 2, 3))}});
    testkit::CompressedSet set = testkit::synthetic_compressed_set(6, 2, 4);
    std::vector<ArchiveEntry> columns = {identity("c")};
    for (const auto& m : testkit::compressed_set_members(set, 0))
        columns.push_back({"1.realtim" + m.suffix, m.bytes});
    testkit::write_archive(in + "3.compr_rt", ArchiveFormat::sevenzip_lzma1, columns);

    const std::string store = dir.folder() + "store/";
    FilesDataStorage cache;
    TExtractThread run({.data_root = store, .from_path = in, .temp_dir = dir.folder() + "temp.dir.tmp", .state_folder = dir.folder(),
                        .cache = &cache});
    run.Execute();
    EXPECT_EQ(run.failed_packages(), 0);
    FileStorage classic_model, sevenzip_model, columns_model;
    classic_model.load(store + "A/r/1.tim");
    EXPECT_EQ(times_of(classic_model), (std::vector<std::uint32_t>{10, 20}));
    sevenzip_model.load(store + "A/s/1.realtim");
    EXPECT_EQ(sevenzip_model.records.size(), 5u);
    columns_model.load(store + "A/c/1.realtim");
    EXPECT_EQ(columns_model.records.size(), 6u);
    EXPECT_EQ(columns_model.version, 0); // a .compr_rt package makes old-variant files
}
