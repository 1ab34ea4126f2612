#include "Cli_run.h"

#include "core/support/TempDir.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Zreg_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

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
    EXPECT_EQ(first.out, "Распаковка данных:\n    скважина \"12\", файл \"1.realtim\"\n");
    EXPECT_EQ(first.err, "Обрабатывается файл \"" + path + "\"\n");
    EXPECT_TRUE(std::filesystem::exists(store() + "Северная/12/1.realtim"));

    const clitest::CliRun second = cli({"extract", "--home", home()});
    EXPECT_EQ(second.out, "Распаковка данных:\nНОВЫЕ данные не найдены!\n");

    const clitest::CliRun listed = cli({"cache", "--home", home(), "list"});
    EXPECT_EQ(listed.out, std::to_string(std::filesystem::file_size(path)) + "\t" + path + "\n");
    EXPECT_EQ(cli({"cache", "--home", home(), "clear"}).status, 0);
    EXPECT_EQ(cli({"cache", "--home", home(), "list"}).out, "");
    // Unpacked again; nothing newer arrives, so the journal says so.
    EXPECT_EQ(cli({"extract", "--home", home()}).out, "Распаковка данных:\nНОВЫЕ данные не найдены!\n");
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
}

TEST_F(CliStore, FromAndToOverrideTheSettingsForOneRun)
{
    const std::string other_in = dir.folder() + "other-in/";
    std::filesystem::create_directories(other_in);
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
