#include "extract/Extractthread.h"
#include "extract/Regrarclass.h"

#include "lib/Mytime.h"
#include "storage/Realtimedatareader.h"
#include "support/Expect.h"
#include "support/Extract_fixtures.h"
#include "support/LockHolder.h"
#include "support/TempDir.h"
#include "testkit/Bytes.h"
#include "testkit/Classic_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Zreg_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

using testkit::Bytes;
using testsupport::TempDir;
using testsupport::times_of;
using testsupport::Lines;
using testsupport::RecordingOwner;
using testsupport::member;
using testsupport::realtime;
using testsupport::at;
using testsupport::named;

namespace {

// A program home, an input folder and a store, and runs over them.
class ExtractRun : public ::testing::Test {
protected:
    std::string in() const { return dir.folder() + "in/"; }
    std::string store() const { return dir.folder() + "store/"; }

    void SetUp() override { std::filesystem::create_directories(in()); }

    std::string package(const std::string& name, const std::vector<testkit::ZregMember>& members)
    {
        const std::string path = in() + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        testkit::write_file(path, testkit::zreg_package(1, members));
        return path;
    }

    testkit::ZregMember identity(const std::string& well = "12", const std::string& area = "Северная")
    {
        return member("inpgti.ini", testkit::inpgti_ini(well, area, lib::enc_1251));
    }

    Lines run_all()
    {
        owner = RecordingOwner();
        TExtractThread run({.data_root = store(), .from_path = in(), .temp_dir = dir.folder() + "temp.dir.tmp", .state_folder = dir.folder(),
                            .cache = &cache, .owner = &owner});
        run.Execute();
        failed = run.failed_packages();
        wells = run.new_data_wells();
        return testsupport::without_run_time(run.journal());
    }

    Lines run_one(const std::string& path, const std::string& root)
    {
        owner = RecordingOwner();
        TExtractThread run({.data_root = root, .package = path, .from_path = in(),
                            .temp_dir = dir.folder() + "temp.dir.tmp", .state_folder = dir.folder(), .mode = PackageMode::single, .cache = &cache,
                            .owner = &owner});
        run.Execute();
        failed = run.failed_packages();
        wells = run.new_data_wells();
        return testsupport::without_run_time(run.journal());
    }

    std::unique_ptr<FileStorage> load(const std::string& path)
    {
        auto model = std::make_unique<FileStorage>();
        model->load(path);
        return model;
    }

    TempDir dir;
    FilesDataStorage cache;
    RecordingOwner owner;
    int failed = 0;
    std::vector<WellName> wells;
};

const Lines nothing_new = {"Распаковка данных:", "НОВЫЕ данные не найдены!"};

} // namespace

TEST_F(ExtractRun, AnEmptyInputFolderFindsNothingNew)
{
    EXPECT_EQ(run_all(), nothing_new);
    EXPECT_TRUE(owner.statuses.empty());
    EXPECT_TRUE(owner.percents.empty());
}

TEST_F(ExtractRun, ATimeFileArrivingForANewWellIsPlacedAndJournaled)
{
    const std::string path = package("a.zreg", {identity(), member("0007.realtim", realtime({1, 2})), member("x.rac", {'r'})});
    EXPECT_EQ(run_all(), (Lines{"Распаковка данных:", "    скважина \"12\", файл \"0007.realtim\""}));
    EXPECT_EQ(owner.statuses, Lines{"Обрабатывается файл \"" + path + "\""});
    EXPECT_EQ(owner.percents, std::vector<int>{100});
    const std::string well = store() + "Северная/12/";
    EXPECT_EQ(times_of(*load(well + "0007.realtim")), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_TRUE(std::filesystem::exists(well + "x.rac"));
    EXPECT_TRUE(std::filesystem::exists(well + "inpgti.ini"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.folder() + "temp.dir.tmp"));
}

TEST_F(ExtractRun, KnownPackagesAreSkippedUntilTheyGrow)
{
    const std::string path = package("a.zreg", {identity(), member("1.realtim", realtime({1}))});
    run_all();
    EXPECT_EQ(run_all(), nothing_new);
    EXPECT_EQ(owner.statuses.size(), 1u); // still announced
    package("a.zreg", {identity(), member("1.realtim", realtime({1, 5, 9}))});
    EXPECT_EQ(run_all(), (Lines{"Распаковка данных:", "    скважина \"12\", файл \"1.realtim\""}));
    EXPECT_EQ(times_of(*load(store() + "Северная/12/1.realtim")), (std::vector<std::uint32_t>{1, 5, 9}));
}

TEST_F(ExtractRun, ArrivingRecordsAreAppendedFromTwoUnitsAfterTheWellsLast)
{
    package("a.zreg", {identity(), member("1.realtim", realtime({900, 1000}))});
    run_all();
    package("b.zreg", {identity(), member("1.realtim", realtime({1000, 1001, 1002, 1005}))});
    package("c.zreg", {identity(), member("1.realtim", realtime({1003}))});
    EXPECT_EQ(run_all(), (Lines{"Распаковка данных:", "    скважина \"12\", файл \"1.realtim\""}));
    EXPECT_EQ(times_of(*load(store() + "Северная/12/1.realtim")), (std::vector<std::uint32_t>{900, 1000, 1002, 1005}));
}

TEST_F(ExtractRun, AMergeKeepsTheVariantOfTheWellsFile)
{
    package("a.zreg", {identity(), member("1.realtim", realtime({10}, 0))});
    run_all();
    package("b.zreg", {identity(), member("1.realtim", realtime({20}, 2))});
    run_all();
    const std::string bytes = testsupport::read_file(store() + "Северная/12/1.realtim");
    EXPECT_EQ(bytes[0], 2); // still the old variant: no format sector
    EXPECT_EQ(times_of(*load(store() + "Северная/12/1.realtim")), (std::vector<std::uint32_t>{10, 20}));
}

TEST_F(ExtractRun, AWellFileAtTheLargestTimeTakesNothingMore)
{
    package("a.zreg", {identity(), member("1.realtim", realtime({4294967294u}))});
    run_all();
    package("b.zreg", {identity(), member("1.realtim", realtime({4294967295u, 3}))});
    EXPECT_EQ(run_all(), nothing_new);
    EXPECT_EQ(times_of(*load(store() + "Северная/12/1.realtim")), (std::vector<std::uint32_t>{4294967294u}));
}

TEST_F(ExtractRun, AClassicTimeFileReceivesOnlyTheNewerRecordsAppended)
{
    const auto record = [](std::uint32_t time) {
        testkit::ClassicRecord r;
        r.time = time;
        r.depth_z = 5;
        r.values[0] = static_cast<float>(time);
        return r;
    };
    const Bytes list = testkit::classic_param_list({named("Глубина")});
    package("a.zreg", {identity(), member("inpgti.nbl", list), member("1.tim", testkit::classic_file({record(10), record(20)}))});
    run_all();
    const std::string well_list = testsupport::read_file(store() + "Северная/12/inpgti.nbl");
    package("b.zreg", {identity(), member("inpgti.nbl", list), member("1.tim", testkit::classic_file({record(21), record(22), record(30)}))});
    EXPECT_EQ(run_all(), (Lines{"Распаковка данных:", "    скважина \"12\", файл \"1.tim\""}));
    EXPECT_EQ(times_of(*load(store() + "Северная/12/1.tim")), (std::vector<std::uint32_t>{10, 20, 22, 30}));
    EXPECT_EQ(std::filesystem::file_size(store() + "Северная/12/1.tim"), 4u * 145);
    EXPECT_EQ(testsupport::read_file(store() + "Северная/12/inpgti.nbl"), well_list);
}

TEST_F(ExtractRun, TheIdentityFileNamesTheFoldersAndUnsafeNamesStayInside)
{
    struct Case {
        const char* name;
        Bytes ini;
        std::string folder;
    };
    const Case cases[] = {
        {"quoted number with blanks", testkit::inpgti_ini("\" 12\"", "Северная", lib::enc_utf8), "Северная/ 12/"},
        {"the older section", testkit::inpgti_ini_pore("7", "Южное", lib::enc_1251), "Южное/7/"},
        {"slashes and dots", testkit::inpgti_ini("../x", "..", lib::enc_1251), "undefined/.._x/"},
        {"backslash", testkit::inpgti_ini("a\\b", "c/d", lib::enc_1251), "c_d/a_b/"},
    };
    int n = 0;
    for (const Case& c : cases) {
        package(testkit::numbered("p", n++) + ".zreg", {member("inpgti.ini", c.ini), member("1.realtim", realtime({1}))});
        run_all();
        EXPECT_TRUE(std::filesystem::exists(store() + c.folder + "1.realtim")) << c.name;
    }
    package("none.zreg", {member("1.dep", {})});
    run_all();
    EXPECT_TRUE(std::filesystem::exists(store() + "undefined/undefined/1.dep"));
    EXPECT_FALSE(std::filesystem::exists(dir.folder() + "x"));
}

TEST_F(ExtractRun, PackagesRunInNameOrderAcrossSubfoldersWhateverTheirCase)
{
    const std::string b = package("sub/b.zreg", {identity(), member("1.dep", {})});
    const std::string a = package("A.ZREG", {identity(), member("2.dep", {})});
    const std::string c = package("c.Zreg", {identity(), member("3.dep", {})});
    run_all();
    EXPECT_EQ(owner.statuses, (Lines{"Обрабатывается файл \"" + a + "\"", "Обрабатывается файл \"" + b + "\"",
                                     "Обрабатывается файл \"" + c + "\""}));
    EXPECT_TRUE(std::filesystem::exists(store() + "Северная/12/2.dep"));
    EXPECT_EQ(failed, 0);
}

TEST_F(ExtractRun, ProgressCountsBytesOfThePackagesDone)
{
    // Packages of a kind that fails still count their bytes.
    testkit::write_file(in() + "a.rar", Bytes(100, 1));
    testkit::write_file(in() + "b.rar", Bytes(300, 1));
    testkit::write_file(in() + "c.rar", Bytes(600, 1));
    run_all();
    EXPECT_EQ(owner.percents, (std::vector<int>{10, 40, 100}));
    EXPECT_EQ(failed, 3);
}

TEST_F(ExtractRun, AFailingPackageIsReportedAndTheRunGoesOn)
{
    testkit::ZregMember bad = member("x.bin", {1, 2, 3});
    bad.unpacked_len = 100000001;
    const std::string broken = package("a.zreg", {identity(), bad});
    package("b.zreg", {identity(), member("1.realtim", realtime({1}))});
    const Lines journal = run_all();
    EXPECT_EQ(journal.back(), "    скважина \"12\", файл \"1.realtim\"");
    ASSERT_EQ(owner.errors.size(), 1u);
    EXPECT_EQ(owner.errors[0], "Произошла ошибка при распаковке файла \"" + broken + "\"\n\nпакет повреждён: размер файла в нём "
                                 "указан неверно (extract_next_file: wrong uncompr_len!)");
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(std::filesystem::exists(store() + "Северная/12/x.bin"));
}

TEST_F(ExtractRun, AWellFileThatCannotBeReadIsReportedAndRetriedNextRun)
{
    package("a.zreg", {identity(), member("1.realtim", realtime({1}))});
    run_all();
    const std::string target = store() + "Северная/12/1.realtim";
    const std::string path = package("b.zreg", {identity(), member("1.realtim", realtime({1, 5}))});
    {
        testsupport::LockHolder holder(target, lib::io::open_read, true, std::chrono::milliseconds(3500));
        const Lines journal = run_all();
        ASSERT_EQ(journal.size(), 3u);
        EXPECT_EQ(journal[1], "В процессе распаковки файла '" + target + "' произошла ошибка");
        EXPECT_TRUE(journal[2].starts_with("Произошла ошибка при распаковке файла \"" + path + "\": " + target + ": "))
            << journal[2];
        ASSERT_EQ(owner.errors.size(), 1u);
        EXPECT_NE(owner.errors[0].find("Невозможно заблокировать файл!"), std::string::npos);
    }
    std::int32_t remembered = 0;
    EXPECT_FALSE(cache.find(path, remembered)); // forgotten: tried again next time
    EXPECT_EQ(run_all(), (Lines{"Распаковка данных:", "    скважина \"12\", файл \"1.realtim\""}));
    EXPECT_EQ(times_of(*load(target)), (std::vector<std::uint32_t>{1, 5}));
}

TEST_F(ExtractRun, AFileThatCannotBePlacedIsReportedAndWhatCouldBePlacedStays)
{
    std::filesystem::create_directories(store() + "Северная/12/x.rac"); // a folder where a file must go
    const std::string path = package("a.zreg", {identity(), member("x.rac", {'r'}), member("1.realtim", realtime({1}))});
    run_all();
    ASSERT_EQ(owner.errors.size(), 1u);
    EXPECT_NE(owner.errors[0].find(store() + "Северная/12/x.rac"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(store() + "Северная/12/1.realtim"));
    std::int32_t remembered = 0;
    EXPECT_FALSE(cache.find(path, remembered));
}

TEST_F(ExtractRun, ASinglePackageGoesStraightIntoItsFolderWithoutTheCache)
{
    const std::string path = package("one.zreg", {identity(), member("1.realtim", realtime({1})), member("r.rac", {'x'})});
    const std::string root = dir.folder() + "GTI_Data/";
    EXPECT_EQ(run_one(path, root), (Lines{"Распаковка данных:", "    скважина \"12\", файл \"1.realtim\""}));
    EXPECT_TRUE(std::filesystem::exists(root + "1.realtim"));
    EXPECT_TRUE(std::filesystem::exists(root + "r.rac"));
    EXPECT_TRUE(cache.entries().empty());
    run_one(path, root); // always unpacked; the merge adds nothing
    EXPECT_EQ(times_of(*load(root + "1.realtim")), std::vector<std::uint32_t>{1});

}

// A named file the run would not take fails with a sentence that says why, and nothing is
// placed: a run that "unpacked" it would be a failure reported as success.
// A package that brought only depth data says which depth file grew, rather than that
// nothing new was found.
TEST_F(ExtractRun, APackageOfDepthDataAloneNamesItsDepthFile)
{
    package("a.zreg", {identity(), member("1.realtim", realtime({1, 2})), member("1.realdep", realtime({1, 2}))});
    run_all();
    package("b.zreg", {identity(), member("1.realtim", realtime({1, 2})), member("1.realdep", realtime({1, 2, 10}))});
    EXPECT_EQ(run_all(), (Lines{"Распаковка данных:", "    скважина \"12\", файл \"1.realdep\""}));
    package("c.zreg", {identity(), member("1.realdep", realtime({1, 2, 10}))});
    EXPECT_EQ(run_all(), nothing_new);
}

TEST_F(ExtractRun, ANamedFileThatIsNoPackageFailsAndSaysWhy)
{
    testkit::write_file(in() + "заметка.txt", {'x'});
    testkit::write_file(in() + ".hidden.zreg", testkit::zreg_package(1, {identity()}));
    std::filesystem::create_directories(in() + "folder.zreg");
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"заметка.txt", extract_text::not_a_package},
        {"нет.zreg", extract_text::package_missing},
        {".hidden.zreg", extract_text::package_hidden},
        {"folder.zreg", extract_text::package_is_folder},
    };
    for (const auto& c : cases) {
        const std::string path = in() + c.name;
        const std::string root = dir.folder() + "GTI_Data/";
        const Lines journal = run_one(path, root);
        EXPECT_EQ(failed, 1) << c.name;
        EXPECT_EQ(journal, (Lines{"Распаковка данных:", std::string(extract_text::error_in_package) + "\"" + path + "\": "
                                                           + c.reason}))
            << c.name;
        ASSERT_EQ(owner.errors.size(), 1u) << c.name;
        EXPECT_NE(owner.errors[0].find(c.reason), std::string::npos) << c.name;
        EXPECT_FALSE(std::filesystem::exists(root) && !std::filesystem::is_empty(root)) << c.name;
    }
}

TEST_F(ExtractRun, ANewcompr1MemberBecomesARealtimeFileInTheWell)
{
    // A hand-built single stream: two records of one raw parameter.
    testkit::ByteWriter stream;
    stream.put_string("CREGFILE", lib::enc_1251).put_i32(1).put_i32(1);
    stream.put_string("", lib::enc_1251).put_string("", lib::enc_1251).put_string("", lib::enc_1251);
    stream.put_string("Глубина", lib::enc_1251).put_i32(0).put_f32(100);
    stream.put_string("Куст=3", lib::enc_1251).put_i32(2);
    const auto list32 = [&](std::uint32_t a, std::uint32_t b) {
        stream.put_i32(2);
        for (int plane = 0; plane < 4; ++plane)
            stream.put_u8(static_cast<std::uint8_t>(a >> (8 * plane))).put_u8(static_cast<std::uint8_t>(b >> (8 * plane)));
    };
    list32(7, 8);                                     // times
    list32(0, 0);                                     // depth_z
    list32(0, 0);                                     // depth_cur
    list32(0, 0);                                     // lag_depth
    stream.put_i32(2).put_u8(1).put_u8(1);            // operations
    stream.put_i32(1);                                // method 1
    list32(0x3F800000u, 0x40000000u);                 // 1.0f, 2.0f
    package("a.zreg", {identity(), member("5.realtim.newcompr1", stream.take())});
    EXPECT_EQ(run_all(), (Lines{"Распаковка данных:", "    скважина \"12\", файл \"5.realtim\""}));
    const auto model = load(store() + "Северная/12/5.realtim");
    EXPECT_EQ(times_of(*model), (std::vector<std::uint32_t>{7, 8}));
    EXPECT_EQ(model->records[1]->values, std::vector<float>{2.0f});
}

TEST_F(ExtractRun, APackageThatCannotBeReadIsAnErrorAndIsTriedAgain)
{
    const std::string path = package("a.zreg", {identity(), member("1.realtim", realtime({1}))});
    {
        testsupport::LockHolder writer(path, lib::io::open_append, false, std::chrono::milliseconds(3500));
        run_all();
        ASSERT_EQ(owner.errors.size(), 1u);
        EXPECT_NE(owner.errors[0].find("Невозможно открыть файл!"), std::string::npos);
        std::int32_t remembered = 0;
        EXPECT_FALSE(cache.find(path, remembered));
    }
    EXPECT_EQ(run_all(), (Lines{"Распаковка данных:", "    скважина \"12\", файл \"1.realtim\""}));
}

TEST_F(ExtractRun, AFailedPackageIsForgottenWhateverTheCause)
{
    set_archiver_path(DRAVINEX_ARCHIVER);
    testkit::ZregMember bad_length = member("x.bin", {1, 2, 3});
    bad_length.unpacked_len = 100000001;
    struct Case {
        const char* cause;
        std::string path;
    };
    const Case cases[] = {
        {"an archive the archiver cannot read", in() + "damaged.rar"},
        {"a .zreg member with a wrong length", package("bad-length.zreg", {identity(), bad_length})},
        {"a .zreg cut short in a member's head", in() + "cut.zreg"},
        {"an empty .zreg", in() + "empty.zreg"},
    };
    testkit::write_file(cases[0].path, Bytes(300, 1));
    testkit::write_file(cases[2].path, {'Z', 'R', 'E', 'G', ',', ' ', 'c', 'u', 't'});
    testkit::write_file(cases[3].path, {});
    run_all();
    set_archiver_path("");
    EXPECT_EQ(failed, 4);
    EXPECT_FALSE(std::filesystem::exists(store() + "undefined")) << "a failed package makes no folders";
    for (const Case& c : cases) {
        std::int32_t remembered = 0;
        EXPECT_FALSE(cache.find(c.path, remembered)) << c.cause << ": remembered as done";
    }
}

TEST_F(ExtractRun, APackageThatBringsNoFileMakesNoAreaOrWell)
{
    package("nothing.zreg", {});
    EXPECT_EQ(run_all(), nothing_new);
    EXPECT_EQ(failed, 0);
    EXPECT_FALSE(std::filesystem::exists(store() + "undefined"));
}

TEST_F(ExtractRun, AFolderTheRunCannotCreateIsReportedWithItsReason)
{
    package("a.zreg", {identity(), member("1.realtim", realtime({1}))});
    testkit::write_file(dir.folder() + "occupied", {'x'});
    const std::string blocked = dir.folder() + "occupied/";
    struct Case {
        std::string root;
        std::string temp_dir;
        std::string message;
    };
    const Case cases[] = {
        {blocked + "store/", dir.folder() + "temp.dir.tmp",
         "Не удалось создать папку данных \"" + blocked + "store\": часть пути — не папка"},
        {store(), blocked + "temp.dir.tmp", "Не удалось создать временную папку \"" + blocked + "temp.dir.tmp\": часть пути — не папка"},
    };
    for (const Case& c : cases) {
        owner = RecordingOwner();
        TExtractThread run({.data_root = c.root, .from_path = in(), .temp_dir = c.temp_dir, .cache = &cache,
                            .owner = &owner});
        run.Execute();
        EXPECT_EQ(testsupport::without_run_time(run.journal()), (Lines{"Распаковка данных:", c.message}));
        EXPECT_EQ(run.failed_packages(), 1); // not a quiet run that found nothing
        EXPECT_EQ(owner.errors, Lines{c.message});
        EXPECT_TRUE(cache.entries().empty()); // no package was taken
    }
}

// An area or well folder that cannot be made (a file holds its name) fails the package,
// which the next run tries again, instead of placing its files nowhere.
TEST_F(ExtractRun, AWellFolderThatCannotBeMadeFailsThePackage)
{
    package("a.zreg", {identity(), member("1.realtim", realtime({1}))});
    std::filesystem::create_directories(store());
    testkit::write_file(store() + "Северная", {'x'});
    EXPECT_EQ(run_all().size(), 2u);
    EXPECT_EQ(failed, 1);
    ASSERT_EQ(owner.errors.size(), 1u);
    EXPECT_NE(owner.errors[0].find(store() + "Северная"), std::string::npos) << owner.errors[0];
    EXPECT_NE(owner.errors[0].find("часть пути — не папка"), std::string::npos) << owner.errors[0];
    std::filesystem::remove(store() + "Северная");
    run_all();
    EXPECT_EQ(failed, 0);
    EXPECT_TRUE(std::filesystem::exists(store() + "Северная/12/1.realtim"));
}

TEST_F(ExtractRun, TheRunCountsPackagesFoundUnpackedSkippedAndFailed)
{
    package("a.zreg", {identity(), member("1.realtim", realtime({1}))});
    run_all();
    package("b.zreg", {identity(), member("2.realtim", realtime({1}))});
    testkit::write_file(in() + "c.zreg", {1, 0, 0, 1, 'x'});
    TExtractThread run({.data_root = store(), .from_path = in(), .temp_dir = dir.folder() + "temp.dir.tmp", .state_folder = dir.folder(),
                        .cache = &cache, .owner = &owner});
    run.Execute();
    EXPECT_EQ(run.found_packages(), 3);
    EXPECT_EQ(run.unpacked_packages(), 1);
    EXPECT_EQ(run.skipped_packages(), 1);
    EXPECT_EQ(run.failed_packages(), 1);
}

TEST_F(ExtractRun, LeftoversOfAKilledRewriteGoWhenTheWellNextReceivesData)
{
    const std::string well = store() + "Северная/12/";
    std::filesystem::create_directories(well);
    testkit::write_file(well + ".1.realtim.tmp-Qw3rTy", Bytes(1000, 7));
    testkit::write_file(well + ".notes.rem", {'n'}); // the user's own hidden file
    testkit::write_file(store() + "Северная/.x.realtim.tmp-Qw3rTy", {'x'}); // not a well: left alone
    package("a.zreg", {identity(), member("1.realtim", realtime({1}))});
    run_all();
    EXPECT_FALSE(std::filesystem::exists(well + ".1.realtim.tmp-Qw3rTy"));
    EXPECT_TRUE(std::filesystem::exists(well + ".notes.rem"));
    EXPECT_TRUE(std::filesystem::exists(store() + "Северная/.x.realtim.tmp-Qw3rTy"));
}

TEST_F(ExtractRun, AMergeKeepsRemarksAndValuesOnlyRecords)
{
    const std::vector<FileStorageParam> params = {named("Глубина"), named("Вес")};
    const SimpleRemark old_note{1, 2, 3, "Долив раствора"};
    const SimpleRemark new_note{4, 5, 6, "Смена долота"};
    const auto well_file = [&](bool grown) {
        testkit::RealtimeFile file(2, lib::enc_utf8);
        file.format(2, lib::enc_utf8).params(params).record(at(10)).values_only(11, {7, 8}).remark(old_note);
        if (grown)
            file.record(at(20)).values_only(21, {9, 10}).remark(new_note);
        return file.bytes();
    };
    package("a.zreg", {identity(), member("1.realtim", well_file(false))});
    run_all();
    // The station's file has grown: it carries the old remark again, and a new one.
    package("b.zreg", {identity(), member("1.realtim", well_file(true))});
    EXPECT_EQ(run_all(), (Lines{"Распаковка данных:", "    скважина \"12\", файл \"1.realtim\""}));

    const auto model = load(store() + "Северная/12/1.realtim");
    EXPECT_EQ(model->remarks, (std::vector<SimpleRemark>{old_note, new_note}));
    ASSERT_EQ(times_of(*model), (std::vector<std::uint32_t>{10, 11, 20, 21}));
    for (const std::size_t i : {1u, 3u}) {
        EXPECT_EQ(model->records[i]->stamped, 0) << i;
        EXPECT_EQ(model->records[i]->operation, 255) << i;
    }
    EXPECT_EQ(model->records[3]->values, (std::vector<float>{9, 10}));
    EXPECT_TRUE(model->warnings.empty());
}

TEST_F(ExtractRun, APackageUnderANameOutsideCodePage1251IsNotUnpackedAgainAfterARestart)
{
    package("Қарағанды/a.zreg", {identity(), member("1.realtim", realtime({1}))});
    run_all();
    cache.save(dir.folder() + "TemporaryFileData.bin");
    cache.load(dir.folder() + "TemporaryFileData.bin");
    TExtractThread run({.data_root = store(), .from_path = in(), .temp_dir = dir.folder() + "temp.dir.tmp", .state_folder = dir.folder(),
                        .cache = &cache, .owner = &owner});
    run.Execute();
    EXPECT_EQ(run.skipped_packages(), 1);
    EXPECT_EQ(run.unpacked_packages(), 0);
}

TEST_F(ExtractRun, TheRunHeaderCarriesTheDateAndTimeOfTheRun)
{
    const std::uint32_t before = lib::now_seconds();
    TExtractThread run({.data_root = store(), .from_path = in(), .temp_dir = dir.folder() + "temp.dir.tmp", .state_folder = dir.folder(),
                        .cache = &cache, .owner = &owner});
    run.Execute();
    const std::uint32_t after = lib::now_seconds();
    ASSERT_FALSE(run.journal().empty());
    const std::string header = run.journal()[0];
    bool matched = false;
    for (std::uint32_t t = before; t <= after; ++t)
        matched = matched || header == "Распаковка данных: " + lib::format_time(t, false);
    EXPECT_TRUE(matched) << header;
}

// Any data file placed new or grown counts, the depth files too; a well is named once per
// run, and a package that brings nothing newer or fails names none.
TEST_F(ExtractRun, TheRunNamesTheWellsThatReceivedNewData)
{
    package("a.zreg", {identity("12"), member("1.realtim", realtime({1, 2}))});
    package("b.zreg", {identity("12"), member("1.realtim", realtime({1, 2, 10}))});
    package("c.zreg", {identity("7", "Южное"), member("1.realdep", realtime({5}))});
    package("d.zreg", {identity("3"), member("x.rac", {'r'})});
    testkit::write_file(in() + "e.zreg", {1, 0, 0, 1, 'x'});
    run_all();
    EXPECT_EQ(wells, (std::vector<WellName>{{"Северная", "12"}, {"Южное", "7"}}));

    package("f.zreg", {identity("12"), member("1.realtim", realtime({3}))}); // nothing newer
    run_all();
    EXPECT_TRUE(wells.empty());
}

TEST(SinglePackageDestination, IsAFolderNameNeverAPath)
{
    for (const char* name : {"", "Мои данные", "a.b"})
        EXPECT_TRUE(is_destination_name(name)) << name;
    for (const char* name : {"/tmp/x", "a/b", ".", ".."})
        EXPECT_FALSE(is_destination_name(name)) << name;
}

TEST(SinglePackageDestination, IsTheNamedFolderOrGTIDataBesideThePackage)
{
    const struct {
        const char* name;
        const char* expected;
    } cases[] = {
        {"", "/in/sub/GTI_Data/"},
        {"Мои", "/in/sub/Мои/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(single_package_destination("/in/sub/a.zreg", c.name), c.expected) << c.name;
}
