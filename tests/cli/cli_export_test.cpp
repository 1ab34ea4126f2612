#include "Cli_run.h"
#include "cli/Cli.h"

#include "core/storage/Export_readers.h"
#include "core/support/TempDir.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using clitest::run_cli;
using testsupport::TempDir;

namespace {

// A well's file in the store layout <area>/<well>/.
class CliExport : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(dir.file("Южная/12"));
        path = dir.file("Южная/12/run1.realdep");
        testkit::write_file(path, testkit::realtime_file(testkit::synthetic_params(3),
                                                         testkit::synthetic_records(5, 3, 1), {"Куст=4"}, 2));
    }
    TempDir dir;
    std::string path;
};

} // namespace

TEST_F(CliExport, CsvGoesToStandardOutputWithTheChosenSeparator)
{
    const auto run = run_cli({"export", path, "--format", "csv", "--separator", ";"});
    ASSERT_EQ(run.status, dravinex_cli::exit_ok) << run.err;
    const auto rows = testsupport::read_csv(run.out, ';');
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].size(), 7u);
    EXPECT_EQ(rows[0][4], "Глубина (м)");
}

TEST_F(CliExport, LasGoesToTheOutputFileWithWellAndAreaOfTheStore)
{
    const std::string out = dir.file("run1.las");
    const auto run = run_cli({"export", path, "--format", "las", "-o", out});
    ASSERT_EQ(run.status, dravinex_cli::exit_ok) << run.err;
    EXPECT_TRUE(run.out.empty());
    const auto las = testsupport::read_las(testsupport::read_file(out));
    ASSERT_NE(las.find('W', "WELL"), nullptr);
    EXPECT_EQ(las.find('W', "WELL")->value, "12");
    EXPECT_EQ(las.find('W', "FLD")->value, "Южная");
    EXPECT_EQ(las.headers.at('C').front().mnemonic, "DEPT");
    EXPECT_EQ(las.data.size(), 5u);
}

TEST_F(CliExport, FailuresNameTheFileAndWriteNothing)
{
    const struct {
        std::vector<std::string> args;
        std::string named;
    } cases[] = {
        {{"export", dir.file("none.realtim"), "--format", "csv"}, dir.file("none.realtim")},
        {{"export", path, "--format", "las", "-o", dir.file("no/such/x.las")}, dir.file("no/such/x.las")},
        // The data file itself as the output would replace its records by their export.
        {{"export", path, "--format", "csv", "-o", dir.file("Южная/../Южная/12/run1.realdep")},
         dir.file("Южная/../Южная/12/run1.realdep")},
    };
    for (const auto& c : cases) {
        const auto run = run_cli(c.args);
        EXPECT_EQ(run.status, dravinex_cli::exit_failure);
        EXPECT_TRUE(run.out.empty());
        EXPECT_EQ(run.err.rfind("dravinex-cli: " + c.named + ": ", 0), 0u) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
    EXPECT_EQ(run_cli({"export", path, "--format", "csv"}).status, dravinex_cli::exit_ok); // still a data file
}
