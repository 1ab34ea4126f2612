#include "Cli_run.h"

#include "core/support/TempDir.h"
#include "testkit/Classic_writer.h"
#include "testkit/Compressed_writer.h"
#include "testkit/Synthetic.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

using nlohmann::json;
using testsupport::TempDir;

namespace {

clitest::CliRun dump(std::vector<std::string> args)
{
    args.insert(args.begin(), "dump");
    return clitest::run_cli(std::move(args));
}

testkit::CompressedSet small_set()
{
    testkit::CompressedSet set = testkit::synthetic_compressed_set(5, 3, 2);
    set.subseconds = {9, 9, 9, 9, 9};
    return set;
}

} // namespace

TEST(DumpCompressed, AColumnFileSetIsNamedByItsBaseAndFormVersion)
{
    TempDir dir;
    const std::string base = dir.file("b.realtim"); // no file of that name needs to exist
    testkit::write_compressed_set(small_set(), base, 2);
    const clitest::CliRun run = dump({base, "--form-version", "2", "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json listing = json::parse(run.out);
    EXPECT_EQ(listing["records"].size(), 5u);
    EXPECT_EQ(listing["records"][0]["subsecond"], 9);
    EXPECT_EQ(listing["version"], 2);
}

TEST(DumpCompressed, SingleStreamsAreRecognisedByTheirExtensionInAnyCase)
{
    TempDir dir;
    for (const char* name : {"x.compr1", "y.NewCompr1"}) {
        const std::string path = dir.file(name);
        testkit::write_file(path, testkit::single_stream(small_set()));
        const clitest::CliRun run = dump({path, "--format", "csv"});
        ASSERT_EQ(run.status, 0) << name << run.err;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 6) << name; // header and five records
    }
    testkit::write_file(dir.file("bad.compr1"), testkit::single_stream(small_set(), {"NOTMAGIC", 1}));
    const clitest::CliRun bad = dump({dir.file("bad.compr1")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("Некорркетный заголовок файла"), std::string::npos);
}

TEST(DumpCompressed, ClassicFilesDumpWithTheirThirtyTwoParameters)
{
    TempDir dir;
    const auto params = testkit::synthetic_params(3);
    std::vector<testkit::ClassicRecord> records;
    for (const auto& item : testkit::synthetic_records(4, 3, 1))
        records.push_back(testkit::classic_record_from(item));
    testkit::write_file(dir.file("inpgti.nbl"), testkit::classic_param_list(params));
    testkit::write_file(dir.file("r.dep"), testkit::classic_file(records));
    const clitest::CliRun run = dump({dir.file("r.dep"), "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json listing = json::parse(run.out);
    EXPECT_EQ(listing["params"].size(), 32u);
    EXPECT_EQ(listing["realtime_form"], 0);
    EXPECT_EQ(listing["records"].size(), 4u);
}

TEST(DumpCompressed, AnUnknownFormVersionIsAUsageError)
{
    EXPECT_EQ(dump({"x.realtim", "--form-version", "1"}).status, 2);
}
