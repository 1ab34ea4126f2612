#include "Cli_run.h"

#include "core/support/TempDir.h"
#include "extract/Regrarclass.h"
#include "extract/Run_lock.h"
#include "testkit/Archive_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Zreg_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

using testsupport::TempDir;

namespace {

clitest::CliRun cli(std::vector<std::string> args)
{
    return clitest::run_cli(std::move(args));
}

testkit::ZregMember member(std::string name, testkit::Bytes content)
{
    testkit::ZregMember m;
    m.name = std::move(name);
    m.content = std::move(content);
    return m;
}

testkit::Bytes well_file(std::uint32_t time)
{
    FileStorageParam p;
    p.name = "Глубина";
    FileStorageItem item;
    item.time = time;
    item.values = {1};
    return testkit::realtime_file({p}, {item}, {}, 2);
}

// A home with settings naming an input folder and a store.
class CliStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(home());
        std::filesystem::create_directories(in());
        std::string settings = "[options]\nfrom_path=" + in() + "\nto_path=" + store() + "\n";
        testkit::write_file(home() + "dravinex2.ini", testkit::Bytes(settings.begin(), settings.end()));
    }

    std::string home() const { return dir.folder() + "home/"; }
    std::string in() const { return dir.folder() + "in/"; }
    std::string store() const { return dir.folder() + "store/"; }

    std::string package(const std::string& name, std::uint32_t time, const std::string& well = "12")
    {
        const std::string path = in() + name;
        testkit::write_file(path, testkit::zreg_package(1, {member("inpgti.ini", testkit::inpgti_ini(well, "Северная", lib::enc_1251)),
                                                           member("1.realtim", well_file(time)), member("1.rac", {'r'})}));
        return path;
    }

    TempDir dir;
};

} // namespace

TEST_F(CliStore, ExtractPrintsTheJournalAndRemembersThePackages)
{
    const std::string path = package("a.zreg", 10);
    const clitest::CliRun first = cli({"extract", "--home", home()});
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(clitest::without_run_time(first.out), "Распаковка данных:\n    скважина \"12\", файл \"1.realtim\"\n");
    EXPECT_EQ(first.err, "Обрабатывается файл \"" + path + "\"\n"
                         "Пакетов найдено: 1, распаковано: 1, пропущено как уже распакованные: 0, с ошибками: 0\n");
    EXPECT_TRUE(std::filesystem::exists(store() + "Северная/12/1.realtim"));

    const clitest::CliRun second = cli({"extract", "--home", home()});
    EXPECT_EQ(clitest::without_run_time(second.out), "Распаковка данных:\nНОВЫЕ данные не найдены!\n");
    EXPECT_NE(second.err.find("Пакетов найдено: 1, распаковано: 0, пропущено как уже распакованные: 1, с ошибками: 0\n"),
              std::string::npos) << second.err;

    const clitest::CliRun listed = cli({"cache", "--home", home(), "list"});
    EXPECT_EQ(listed.out, std::to_string(std::filesystem::file_size(path)) + "\t" + path + "\n");
    EXPECT_EQ(cli({"cache", "--home", home(), "clear"}).status, 0);
    EXPECT_EQ(cli({"cache", "--home", home(), "list"}).out, "");
    // Unpacked again; nothing newer arrives, so the journal says so.
    EXPECT_EQ(clitest::without_run_time(cli({"extract", "--home", home()}).out), "Распаковка данных:\nНОВЫЕ данные не найдены!\n");
}

TEST_F(CliStore, AFailingPackageAmongGoodOnesMakesTheStatusOne)
{
    package("a.zreg", 10);
    testkit::write_file(in() + "b.zreg", {1, 0, 0, 1, 'x'}); // a member cut inside its lengths
    package("c.zreg", 20, "14");
    const clitest::CliRun run = cli({"extract", "--home", home()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("ОШИБКА: Произошла ошибка при распаковке файла \"" + in() + "b.zreg\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(store() + "Северная/14/1.realtim"));
    // The last line says how the run went, so a run of failures does not read like a quiet one.
    EXPECT_TRUE(run.err.ends_with("\nПакетов найдено: 3, распаковано: 2, пропущено как уже распакованные: 0, с ошибками: 1\n"))
        << run.err;
}

TEST_F(CliStore, FromAndToOverrideTheSettingsForOneRun)
{
    const std::string other_in = dir.folder() + "other-in/";
    std::filesystem::create_directories(other_in);
    std::filesystem::create_directories(dir.folder() + "elsewhere");
    testkit::write_file(other_in + "x.zreg", testkit::zreg_package(1, {member("1.realtim", well_file(5))}));
    const clitest::CliRun run = cli({"extract", "--home", home(), "--from", other_in, "--to", dir.folder() + "elsewhere"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(dir.folder() + "elsewhere/undefined/undefined/1.realtim"));
    EXPECT_FALSE(std::filesystem::exists(store()));
}

TEST_F(CliStore, ANamedPackageGoesBesideItselfOrToTheGivenFolder)
{
    const std::string path = package("one.zreg", 10);
    EXPECT_EQ(cli({"extract", "--home", home(), path}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(in() + "GTI_Data/1.realtim"));
    EXPECT_EQ(cli({"extract", "--home", home(), path, "Мои"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(in() + "Мои/1.rac"));
    // An empty NAME is no name: the data go to GTI_Data, not among the packages.
    std::filesystem::remove_all(in() + "GTI_Data");
    EXPECT_EQ(cli({"extract", "--home", home(), path, ""}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(in() + "GTI_Data/1.realtim"));
    EXPECT_FALSE(std::filesystem::exists(in() + "1.realtim"));
    std::filesystem::create_directories(dir.folder() + "handoff");
    EXPECT_EQ(cli({"extract", "--home", home(), "--to", dir.folder() + "handoff", path}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.folder() + "handoff/1.realtim"));
    EXPECT_EQ(cli({"cache", "--home", home(), "list"}).out, ""); // single packages leave the cache alone
    EXPECT_EQ(cli({"extract", "--home", home(), "--from", in(), path}).status, 2);
}

TEST_F(CliStore, TreeShowsAreasWellsAndTheirFiles)
{
    package("a.zreg", 10);
    cli({"extract", "--home", home()});
    const clitest::CliRun tree = cli({"tree", "--home", home()});
    EXPECT_EQ(tree.status, 0);
    EXPECT_EQ(tree.out, "Все данные\n"
                        "  Площадь Северная\n"
                        "    Скважина 12\n"
                        "             inpgti.ini               Настройки скважины\n"
                        "      1      1.rac                    Данные по рейсу\n"
                        "      1      1.realtim                Временной файл\n");
}

TEST(CliUsage, SubcommandsRefuseWrongArguments)
{
    EXPECT_EQ(cli({"cache", "drop"}).status, 2);
    EXPECT_EQ(cli({"cache"}).status, 2);
    EXPECT_EQ(cli({"tree", "extra"}).status, 2);
}

TEST_F(CliStore, AWrongCommandLineIsRefusedBeforeAnythingIsCreated)
{
    const std::string path = package("a.zreg", 10);
    testkit::write_file(dir.folder() + "plain-file", {'x'});
    struct Case {
        std::vector<std::string> args;
        std::string message; // the one line on standard error
    };
    const std::string missing = dir.folder() + "missing";
    const std::string file = dir.folder() + "plain-file";
    const Case cases[] = {
        {{"extract", "--home", missing}, "--home " + missing + ": такой папки нет"},
        {{"extract", "--home", file}, "--home " + file + ": это не папка"},
        {{"extract", "--home", home(), "--from", missing}, "--from " + missing + ": такой папки нет"},
        {{"extract", "--home", home(), "--to", file}, "--to " + file + ": это не папка"},
        {{"extract", "--home", home(), "--to", ""}, "--to: пустой путь"},
        {{"extract", "--home", home(), in() + "none.zreg"}, in() + "none.zreg: такого файла нет"},
        {{"extract", "--home", home(), in()}, in() + ": это папка, а не пакет"},
        {{"extract", "--home", home(), path, "/tmp/x"}, "NAME — имя папки рядом с пакетом, а не путь: /tmp/x"},
        {{"tree", "--home", home(), "--to", missing}, "--to " + missing + ": такой папки нет"},
        {{"cache", "--home", missing, "list"}, "--home " + missing + ": такой папки нет"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const clitest::CliRun run = cli(c.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "dravinex-cli: " + c.message + "\n");
        EXPECT_EQ(run.out, "");
    }
    // Nothing was made: no store, no GTI_Data beside the packages, no temporary folder.
    EXPECT_FALSE(std::filesystem::exists(store()));
    EXPECT_FALSE(std::filesystem::exists(in() + "GTI_Data"));
    EXPECT_FALSE(std::filesystem::exists(home() + "temp.dir.tmp"));
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(CliStore, ANamedFileThatIsNoPackageFailsWithItsReason)
{
    testkit::write_file(in() + "заметка.txt", {'x'});
    const clitest::CliRun run = cli({"extract", "--home", home(), in() + "заметка.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Произошла ошибка при распаковке файла \"" + in() + "заметка.txt\": это не пакет"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("распаковано: 0, пропущено как уже распакованные: 0, с ошибками: 1"), std::string::npos)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(in() + "GTI_Data") && !std::filesystem::is_empty(in() + "GTI_Data"));
}

TEST_F(CliStore, RelativeFoldersAreTakenFromTheCurrentFolder)
{
    set_archiver_path(DRAVINEX_ARCHIVER);
    // A .rar package: the archiver runs in another folder and must get full paths.
    testkit::write_archive(in() + "a.rar", testkit::ArchiveFormat::zip,
                           {{"inpgti.ini", testkit::inpgti_ini("12", "Северная", lib::enc_1251)},
                            {"1.realtim", well_file(10)}});
    std::filesystem::create_directories(store());
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.folder());
    const clitest::CliRun run = cli({"extract", "--home", "home", "--from", "in", "--to", "store"});
    std::filesystem::current_path(before);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(clitest::without_run_time(run.out), "Распаковка данных:\n    скважина \"12\", файл \"1.realtim\"\n");
    EXPECT_TRUE(std::filesystem::exists(store() + "Северная/12/1.realtim"));
    // The cache knows the package by its full path.
    EXPECT_EQ(cli({"cache", "--home", home(), "list"}).out,
              std::to_string(std::filesystem::file_size(in() + "a.rar")) + "\t" + in() + "a.rar\n");
}

TEST_F(CliStore, ASecondRunOfTheSameHomeWaitsOrWithNoWaitGivesUp)
{
    package("a.zreg", 10);
    {
        const RunLock other(home() + ".extract.lock", false);
        ASSERT_TRUE(other.held());
        const clitest::CliRun refused = cli({"extract", "--home", home(), "--no-wait"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err, "dravinex-cli: Идёт другая распаковка с теми же файлами программы: " + home() +
                                   ".extract.lock\n");
        EXPECT_FALSE(std::filesystem::exists(store()));
        EXPECT_FALSE(std::filesystem::exists(home() + "temp.dir.tmp"));
    }

    auto other = std::make_unique<RunLock>(home() + ".extract.lock", false);
    std::thread release([&other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.reset();
    });
    const clitest::CliRun waited = cli({"extract", "--home", home()});
    release.join();
    EXPECT_EQ(waited.status, 0) << waited.err;
    EXPECT_TRUE(waited.err.starts_with("Идёт другая распаковка с теми же файлами программы, ждём её окончания: " +
                                       home() + ".extract.lock\n"))
        << waited.err;
    EXPECT_TRUE(std::filesystem::exists(store() + "Северная/12/1.realtim"));
}

TEST_F(CliStore, ClearingTheCacheWaitsForARunThatWouldSaveItsOwnAtTheEnd)
{
    package("a.zreg", 10);
    cli({"extract", "--home", home()});
    auto run = std::make_unique<RunLock>(home() + ".extract.lock", false);
    std::thread release([&run] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        run.reset();
    });
    const clitest::CliRun cleared = cli({"cache", "--home", home(), "clear"});
    release.join();
    EXPECT_EQ(cleared.status, 0);
    EXPECT_TRUE(cleared.err.starts_with("Идёт другая распаковка с теми же файлами программы, ждём её окончания: "))
        << cleared.err;
    EXPECT_EQ(cli({"cache", "--home", home(), "list"}).out, "");
}

TEST(CliUsage, AnUnknownSubcommandIsNamed)
{
    const clitest::CliRun run = cli({"frobnicate", "--home", "x"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "dravinex-cli: неизвестная подкоманда \"frobnicate\"; есть dump, export, extract, tree, cache, watch, verify "
                       "и status (--help объясняет их)\n");
}
