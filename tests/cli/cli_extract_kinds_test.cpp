#include "Cli_run.h"

#include "core/support/TempDir.h"
#include "extract/Regrarclass.h"
#include "testkit/Archive_writer.h"
#include "testkit/Classic_writer.h"
#include "testkit/Compressed_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Zreg_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

using testkit::ArchiveEntry;
using testkit::ArchiveFormat;
using testsupport::TempDir;

namespace {

testkit::ZregMember member(std::string name, testkit::Bytes content)
{
    testkit::ZregMember m;
    m.name = std::move(name);
    m.content = std::move(content);
    return m;
}

ArchiveEntry identity(const std::string& well)
{
    return {"inpgti.ini", testkit::inpgti_ini(well, "A", lib::enc_1251)};
}

} // namespace

TEST(CliExtractKinds, AllFivePackageKindsLandInTheStore)
{
    set_archiver_path(DRAVINEX_ARCHIVER);
    TempDir dir;
    const std::string in = dir.folder() + "in/";
    std::filesystem::create_directories(in);
    std::filesystem::create_directories(dir.folder() + "store"); // --to names an existing folder

    FileStorageParam depth;
    depth.name = "Глубина";
    FileStorageItem item;
    item.time = 5;
    item.values = {1};
    testkit::write_file(in + "1.zreg", testkit::zreg_package(1, {member("inpgti.ini", testkit::inpgti_ini("z", "A", lib::enc_1251)),
                                                                member("1.realtim", testkit::realtime_file({depth}, {item}, {}, 2))}));
    testkit::ClassicRecord record;
    record.time = 9;
    testkit::write_archive(in + "2.rar", ArchiveFormat::sevenzip_lzma2,
                           {identity("r"), {"inpgti.nbl", testkit::classic_param_list({depth})}, {"1.dep", testkit::classic_file({record})}});
    const testkit::CompressedSet set = testkit::synthetic_compressed_set(8, 3, 5);
    testkit::write_archive(in + "3.7z_reg", ArchiveFormat::zip, {identity("s"), {"1.realtim.compr1", testkit::single_stream(set)}});
    for (const int version : {0, 2}) {
        std::vector<ArchiveEntry> entries = {identity("c" + std::to_string(version))};
        for (const auto& m : testkit::compressed_set_members(set, version))
            entries.push_back({"a.realtim" + m.suffix, m.bytes});
        testkit::write_archive(in + (version == 0 ? "4.compr_rt" : "5.compr2_rt"), ArchiveFormat::sevenzip_lzma1, entries);
    }
    testkit::write_file(in + "6.7z_reg", testkit::Bytes(64, 0x33)); // not an archive at all

    const clitest::CliRun run = clitest::run_cli({"extract", "--home", dir.folder(), "--from", in, "--to", dir.folder() + "store"});
    EXPECT_EQ(run.status, 1); // the last package fails
    EXPECT_NE(run.err.find("6.7z_reg"), std::string::npos);
    for (const char* file : {"A/z/1.realtim", "A/r/1.dep", "A/s/1.realtim", "A/c0/a.realtim", "A/c2/a.realtim"})
        EXPECT_TRUE(std::filesystem::exists(dir.folder() + "store/" + file)) << file;
    EXPECT_EQ(clitest::without_run_time(run.out), "Распаковка данных:\n"
                       "    скважина \"z\", файл \"1.realtim\"\n"
                       "    скважина \"r\", файл \"1.dep\"\n" // depth data alone
                       "    скважина \"s\", файл \"1.realtim\"\n"
                       "    скважина \"c0\", файл \"a.realtim\"\n"
                       "    скважина \"c2\", файл \"a.realtim\"\n"
                       "Произошла ошибка при распаковке файла \"" + in + "6.7z_reg\": это не архив известного вида "
                       "(7z, zip, RAR 4 или RAR 5) (7za: " + in + "6.7z_reg: not an archive of a known kind (7z, zip, RAR 4 or "
                       "RAR 5))\n");
    set_archiver_path("");
}
