#include "Cli_run.h"

#include "core/support/TempDir.h"
#include "lib/Mytime.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

using testsupport::TempDir;

namespace {

constexpr std::uint32_t hour = 3600;

testkit::Bytes well_file(std::uint32_t newest, float depth)
{
    FileStorageParam p;
    p.name = "Давление";
    std::vector<FileStorageItem> records;
    for (std::uint32_t back : {120u, 60u, 0u}) {
        FileStorageItem item;
        item.time = newest - back;
        item.depth_z = depth - static_cast<float>(back) / 60.f;
        item.values = {1};
        records.push_back(item);
    }
    return testkit::realtime_file({p}, records, {}, 2);
}

// A store of two wells: Северная/12 one hour silent, Южная/7 ten hours.
class CliStatus : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::uint32_t now = lib::now_seconds();
        std::filesystem::create_directories(home);
        std::filesystem::create_directories(store + "Северная/12");
        std::filesystem::create_directories(store + "Южная/7");
        testkit::write_file(store + "Северная/12/1.realtim", well_file(now - hour, 2400.2f));
        testkit::write_file(store + "Южная/7/3.realdep", well_file(now - 10 * hour, 980.f));
    }

    clitest::CliRun status(std::vector<std::string> more)
    {
        std::vector<std::string> args = {"status", "--home", home, "--to", store};
        args.insert(args.end(), more.begin(), more.end());
        return clitest::run_cli(args);
    }

    TempDir dir;
    std::string home = dir.folder() + "home/";
    std::string store = dir.folder() + "store/";
};

TEST_F(CliStatus, JsonListsTheWellsOldestFirstAndExitsOneWhenAnyIsSilent)
{
    const clitest::CliRun run = status({"--format", "json"});
    EXPECT_EQ(run.status, 1) << run.err;
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["older_than_hours"], 6);
    EXPECT_EQ(json["old_wells"], 1);
    ASSERT_EQ(json["wells"].size(), 2u);
    const auto& silent = json["wells"][0];
    EXPECT_EQ(silent["area"], "Южная");
    EXPECT_EQ(silent["well"], "7");
    EXPECT_TRUE(silent["newest_time_record"].is_null());
    EXPECT_EQ(silent["depth"], 980.0);
    EXPECT_EQ(silent["old"], true);
    EXPECT_NEAR(silent["age_seconds"].get<double>(), 10.0 * hour, 120);
    const auto& current = json["wells"][1];
    EXPECT_EQ(current["area"], "Северная");
    EXPECT_TRUE(current["newest_depth_record"].is_null());
    EXPECT_EQ(current["depth"], 2400.2); // the float's shortest text, not 2400.199951171875
    EXPECT_EQ(current["old"], false);
    EXPECT_TRUE(current["packages"].is_null());
}

TEST_F(CliStatus, TheLimitComesFromTheCommandLineElseFromTheSettings)
{
    const struct {
        std::string settings;
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {"", {"--older-than", "11"}, 0},
        {"", {"--older-than", "0"}, 1},
        {"[options]\nsilence_hours=12\n", {}, 0},
        {"[options]\nsilence_hours=12\n", {"--older-than", "2"}, 1},
    };
    for (const auto& c : cases) {
        testkit::write_file(home + "dravinex2.ini", testkit::Bytes(c.settings.begin(), c.settings.end()));
        const clitest::CliRun run = status(c.args);
        EXPECT_EQ(run.status, c.status) << c.settings << run.out << run.err;
    }
}

TEST_F(CliStatus, TextShowsATableWithTheMarkAndASummary)
{
    const clitest::CliRun run = status({});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Площадь"), std::string::npos);
    EXPECT_NE(run.out.find("молчит"), std::string::npos);
    EXPECT_NE(run.out.find("2400,2"), std::string::npos);
    EXPECT_NE(run.out.find("Скважин: 2, молчат более 6 ч: 1"), std::string::npos) << run.out;
    // Silent first.
    EXPECT_LT(run.out.find("Южная"), run.out.find("Северная"));
}

TEST_F(CliStatus, WrongCommandLinesExitTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--format", "xml"}, {"--older-than", "-1"}, {"--older-than", "много"}, {"--bogus"}}) {
        EXPECT_EQ(status(args).status, 2) << args[0];
    }
    EXPECT_EQ(clitest::run_cli({"status", "--home", home, "--to", dir.folder() + "missing"}).status, 2);
}

TEST(CliStatusStore, AnEmptyStoreIsFine)
{
    TempDir dir;
    const clitest::CliRun run = clitest::run_cli({"status", "--home", dir.folder(), "--to", dir.folder(), "--format", "json"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["wells"].size(), 0u);
}

} // namespace
