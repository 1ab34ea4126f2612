// A run that meets a failing write, flush, close, rename, folder flush or lock says that
// its package failed, and the next clean run leaves the store exactly as a run that met no
// fault: every record once, every file whole. Each kind of call is made to fail at its 1st
// use, then its 2nd, and so on, until a run goes through without meeting it.

#include "catalogue/Filedata.h"
#include "extract/Extractthread.h"

#include "platform/Fault_seam.h"
#include "support/Extract_fixtures.h"
#include "support/TempDir.h"
#include "testkit/Classic_writer.h"
#include "testkit/Synthetic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using testsupport::member;
using testsupport::TempDir;

namespace {

namespace fault = platform::fault;

testkit::Bytes classic_records(const std::vector<FileStorageItem>& records, std::size_t first, std::size_t count)
{
    std::vector<testkit::ClassicRecord> rows;
    for (std::size_t i = first; i < first + count; ++i)
        rows.push_back(testkit::classic_record_from(records[i]));
    return testkit::classic_file(rows);
}

// The first package gives well 7 a real-time and a classic time file, a parameter list and
// a run file; the second brings newer records for both (they overlap the old ones), a depth
// file the well does not have, a new log and a changed run file.
void write_packages(const std::string& base, const std::string& next)
{
    const auto params = testkit::synthetic_params(6);
    const auto records = testkit::synthetic_records(900, 6, 3);
    const auto realtime = [&](std::size_t first, std::size_t count) {
        return testkit::realtime_file(params, {records.begin() + static_cast<std::ptrdiff_t>(first),
                                               records.begin() + static_cast<std::ptrdiff_t>(first + count)},
                                      {"Куст=3"});
    };
    const testkit::Bytes identity = testkit::inpgti_ini("7", "Южная", lib::enc_1251);
    std::filesystem::create_directories(base);
    std::filesystem::create_directories(next);
    testkit::write_file(base + "a.zreg", testkit::zreg_package(1, {member("inpgti.ini", identity),
                                                                   member("inpgti.nbl", testkit::classic_param_list(params)),
                                                                   member("1.realtim", realtime(0, 400)),
                                                                   member("1.tim", classic_records(records, 0, 300)),
                                                                   member("run.rac", {'r', '1'})}));
    testkit::write_file(next + "b.zreg", testkit::zreg_package(1, {member("inpgti.ini", identity),
                                                                   member("inpgti.nbl", testkit::classic_param_list(params)),
                                                                   member("1.realtim", realtime(300, 600)),
                                                                   member("1.tim", classic_records(records, 200, 500)),
                                                                   member("1.realdep", realtime(0, 50)),
                                                                   member("notes.las", testkit::Bytes(5000, 'l')),
                                                                   member("run.rac", {'r', '2'})}));
}

struct RunResult {
    int failed = 0;
    std::vector<std::string> journal;
};

RunResult run_once(const std::string& home, const std::string& in, const std::string& store)
{
    FilesDataStorage cache;
    cache.load(home + "TemporaryFileData.bin");
    testsupport::RecordingOwner owner;
    TExtractThread run({.data_root = store, .from_path = in, .temp_dir = home + "temp.dir.tmp", .state_folder = home, .cache = &cache,
                        .owner = &owner});
    run.Execute();
    cache.save(home + "TemporaryFileData.bin");
    return {run.failed_packages(), run.journal()};
}

// Every visible file below the folder, by its path there, with its bytes.
std::map<std::string, std::string> contents_of(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && !name.starts_with("."))
            files[std::filesystem::relative(entry.path(), folder).string()] = testsupport::read_file(entry.path().string());
    }
    return files;
}

bool names_a_failed_package(const std::vector<std::string>& journal)
{
    for (const std::string& line : journal) {
        if (line.starts_with(extract_text::error_in_package) && line.find("b.zreg") != std::string::npos)
            return true;
    }
    return false;
}

struct FaultCase {
    const char* name;
    fault::Call call;
};

} // namespace

TEST(StoreFaults, EveryFailingCallFailsThePackageAndTheNextRunEndsAsAFaultlessOne)
{
    TempDir dir;
    const std::string root = std::filesystem::canonical(dir.folder()).string() + "/";
    write_packages(root + "in-base/", root + "in-next/");
    const auto fresh = [&](const std::string& name) {
        std::filesystem::remove_all(root + name);
        std::filesystem::create_directories(root + name);
        return root + name;
    };
    ASSERT_EQ(run_once(fresh("h-base/"), root + "in-base/", fresh("base/")).failed, 0);
    std::filesystem::copy(root + "base/", fresh("whole/"), std::filesystem::copy_options::recursive);
    const RunResult whole = run_once(fresh("h-whole/"), root + "in-next/", root + "whole/");
    ASSERT_EQ(whole.failed, 0) << ::testing::PrintToString(whole.journal);
    const auto expected = contents_of(root + "whole/");
    ASSERT_NE(expected, contents_of(root + "base/"));

    const FaultCase cases[] = {
        {"write", fault::write},   {"flush", fault::flush},   {"close", fault::close},
        {"rename", fault::rename}, {"folder flush", fault::folder_flush}, {"lock", fault::lock},
    };
    for (const FaultCase& c : cases) {
        int met = 0;
        for (std::uint64_t nth = 1; nth < 500; ++nth) {
            const std::string store = fresh("store/");
            std::filesystem::copy(root + "base/", store, std::filesystem::copy_options::recursive);
            const std::string home = fresh("home/");
            fault::arm({.calls = c.call, .nth = nth, .error = EIO, .folders = {store, home + "temp.dir.tmp"}});
            const RunResult faulty = run_once(home, root + "in-next/", store);
            const bool reached = fault::met();
            fault::disarm();
            if (!reached) {
                EXPECT_EQ(faulty.failed, 0) << c.name << " " << nth << ": a run without the fault failed";
                EXPECT_EQ(contents_of(store), expected) << c.name << " " << nth;
                break;
            }
            ++met;
            EXPECT_EQ(faulty.failed, 1) << c.name << " " << nth << ": the run met the fault and said nothing";
            EXPECT_TRUE(names_a_failed_package(faulty.journal)) << c.name << " " << nth;
            const RunResult clean = run_once(home, root + "in-next/", store);
            EXPECT_EQ(clean.failed, 0) << c.name << " " << nth;
            ASSERT_EQ(contents_of(store), expected) << c.name << " " << nth << ": the store differs after the clean run";
        }
        EXPECT_GT(met, 0) << c.name << ": no run met the fault";
    }
}
