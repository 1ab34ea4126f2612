// A run killed at any moment of its merges leaves well files that the next full run brings
// to exactly what one uninterrupted run gives: no record twice, none lost. The files a
// package places new or copies are, at every kill, either absent, old or whole.

#include "catalogue/Filedata.h"
#include "extract/Extractthread.h"

#include "storage/Realtimedatareader.h"
#include "support/Expect.h"
#include "support/TempDir.h"
#include "testkit/Bytes.h"
#include "testkit/Classic_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"
#include "testkit/Zreg_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::TempDir;
using testsupport::times_of;

namespace {

class QuietOwner : public ExtractOwner {
public:
    void post_status(const std::string&) override {}
    void post_progress(int) override {}
    void report_error(const std::string&, const std::string& message) override { errors.push_back(message); }
    std::vector<std::string> errors;
};

testkit::ZregMember member(std::string name, testkit::Bytes content)
{
    testkit::ZregMember m;
    m.name = std::move(name);
    m.content = std::move(content);
    return m;
}

// What the packages place without merging, by name: the contents that count as whole.
struct PlacedFiles {
    std::map<std::string, std::set<std::string>> whole;
};

// Packages of one well whose station files grow from package to package and overlap the
// previous one; every third brings a new parameter, every fourth a remark, and each a
// depth file the well gets new in the first and merged later, a data file and a log file
// of its own that the well gets new, and a run file that replaces the last one.
PlacedFiles write_packages(const std::string& folder, int count)
{
    PlacedFiles placed;
    const auto params = testkit::synthetic_params(12);
    const auto records = testkit::synthetic_records(400 * static_cast<std::size_t>(count + 1), 12, 7);
    for (int p = 0; p < count; ++p) {
        const std::size_t first = static_cast<std::size_t>(p) * 400;
        const std::size_t columns = 9 + static_cast<std::size_t>(p / 3) % 4;
        std::vector<FileStorageParam> used(params.begin(), params.begin() + static_cast<std::ptrdiff_t>(columns));
        testkit::RealtimeFile file(2, lib::enc_utf8);
        file.format(2, lib::enc_utf8).params(used);
        for (std::size_t i = first; i < first + 700; ++i) {
            FileStorageItem item = records[i];
            item.values.resize(columns);
            file.record(item);
        }
        if (p % 4 == 0)
            file.remark({static_cast<std::uint32_t>(p), 0, 0, "Заметка " + std::to_string(p)});
        file.text_area({"Куст=" + std::to_string(p / 5)});
        testkit::RealtimeFile depth(2, lib::enc_utf8);
        depth.format(2, lib::enc_utf8).params(used).record(records[first]).text_area({});
        const std::string own = testkit::numbered("n", static_cast<std::size_t>(p));
        const testkit::Bytes own_data = file.bytes();
        const testkit::Bytes own_log(64 * 1024 + static_cast<std::size_t>(p), static_cast<std::uint8_t>('a' + p));
        const testkit::Bytes run = {'r', static_cast<std::uint8_t>(p)};
        placed.whole[own + ".realdep"].insert(std::string(own_data.begin(), own_data.end()));
        placed.whole[own + ".las"].insert(std::string(own_log.begin(), own_log.end()));
        placed.whole["run.rac"].insert(std::string(run.begin(), run.end()));
        testkit::write_file(folder + testkit::numbered("p", static_cast<std::size_t>(p)) + ".zreg",
                            testkit::zreg_package(1, {member("inpgti.ini", testkit::inpgti_ini("12", "Северная", lib::enc_1251)),
                                                      member("1.realtim", file.bytes()), member("1.realdep", depth.bytes()),
                                                      member(own + ".realdep", own_data), member(own + ".las", own_log),
                                                      member("run.rac", run)}));
    }
    return placed;
}

// Every placed file the well folder shows is one of the whole versions the packages bring;
// a killed run's temporary files are hidden and do not count.
void expect_placed_files_whole(const std::string& folder, const PlacedFiles& placed)
{
    if (!std::filesystem::is_directory(folder))
        return;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const auto versions = placed.whole.find(name);
        if (name.starts_with(".") || versions == placed.whole.end())
            continue;
        EXPECT_TRUE(versions->second.count(testsupport::read_file(entry.path().string())) != 0) << name << " is cut";
    }
}

// The names a folder shows, hidden ones aside.
std::set<std::string> visible_names(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("."))
            names.insert(name);
    }
    return names;
}

// One run over the input folder with the cache of the home, saved when the run ends; the
// number of packages that failed.
int run_once(const std::string& home, const std::string& in, const std::string& store)
{
    FilesDataStorage cache;
    cache.load(home + "TemporaryFileData.bin");
    QuietOwner owner;
    TExtractThread run({.data_root = store, .from_path = in, .temp_dir = home + "temp.dir.tmp", .state_folder = home, .cache = &cache,
                        .owner = &owner});
    run.Execute();
    cache.save(home + "TemporaryFileData.bin");
    return run.failed_packages();
}

void expect_same_well_files(const std::string& expected, const std::string& got)
{
    ASSERT_EQ(visible_names(expected), visible_names(got));
    for (const std::string& name : visible_names(expected)) {
        if (!name.ends_with(".realtim") && !name.ends_with(".realdep")) {
            EXPECT_EQ(testsupport::read_file(expected + name), testsupport::read_file(got + name)) << name;
            continue;
        }
        FileStorage a;
        a.load(expected + name);
        FileStorage b;
        b.load(got + name);
        ASSERT_EQ(times_of(a), times_of(b)) << name;
        ASSERT_EQ(a.param_count, b.param_count) << name;
        for (std::size_t i = 0; i < a.records.size(); ++i)
            ASSERT_EQ(a.records[i]->values, b.records[i]->values) << name << ", record " << i;
        EXPECT_EQ(a.remarks, b.remarks) << name;
        EXPECT_EQ(a.text_values.lines(), b.text_values.lines()) << name;
    }
}

} // namespace

TEST(MergeKill, RunsKilledAtRandomMomentsEndAsOneUninterruptedRun)
{
    TempDir dir;
    const std::string in = dir.folder() + "in/";
    std::filesystem::create_directories(in);
    const PlacedFiles placed = write_packages(in, 16);
    for (const char* home : {"home-a/", "home-b/"})
        std::filesystem::create_directories(dir.folder() + home);

    const auto started = std::chrono::steady_clock::now();
    run_once(dir.folder() + "home-a/", in, dir.folder() + "whole/");
    const auto whole_run = std::chrono::steady_clock::now() - started;
    const auto span = std::max<std::int64_t>(
        1000, std::chrono::duration_cast<std::chrono::microseconds>(whole_run).count());

    std::mt19937 random(2024);
    std::uniform_int_distribution<std::int64_t> moment(0, span);
    int killed = 0;
    for (int attempt = 0; attempt < 50; ++attempt) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            run_once(dir.folder() + "home-b/", in, dir.folder() + "killed/");
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        if (::kill(child, SIGKILL) == 0)
            ++killed;
        int status = 0;
        ::waitpid(child, &status, 0);
        if (WIFEXITED(status)) // the run ended before the kill: start it all over
            std::filesystem::remove(dir.folder() + "home-b/TemporaryFileData.bin");
        expect_placed_files_whole(dir.folder() + "killed/Северная/12/", placed);
    }
    EXPECT_GT(killed, 0);
    run_once(dir.folder() + "home-b/", in, dir.folder() + "killed/");
    expect_same_well_files(dir.folder() + "whole/Северная/12/", dir.folder() + "killed/Северная/12/");
}

namespace {

enum class WellForm { realtime, classic };

const char* file_name_of(WellForm form)
{
    return form == WellForm::realtime ? "1.realtim" : "1.tim";
}

// One package of well 12 whose station file holds `count` records from `first` on.
void write_one_package(const std::string& folder, WellForm form, std::size_t first, std::size_t count, std::uint32_t seed)
{
    std::filesystem::create_directories(folder);
    const auto params = testkit::synthetic_params(10);
    const auto records = testkit::synthetic_records(first + count, 10, seed);
    std::vector<FileStorageItem> mine(records.begin() + static_cast<std::ptrdiff_t>(first), records.end());
    std::vector<testkit::ZregMember> members = {member("inpgti.ini", testkit::inpgti_ini("12", "Северная", lib::enc_1251))};
    if (form == WellForm::realtime) {
        members.push_back(member("1.realtim", testkit::realtime_file(params, mine, {"Куст=1"})));
    }
    else {
        std::vector<testkit::ClassicRecord> rows;
        for (const FileStorageItem& item : mine)
            rows.push_back(testkit::classic_record_from(item));
        members.push_back(member("inpgti.nbl", testkit::classic_param_list(params)));
        members.push_back(member("1.tim", testkit::classic_file(rows)));
    }
    testkit::write_file(folder + "p.zreg", testkit::zreg_package(1, members));
}

std::vector<std::uint32_t> well_times(const std::string& store, WellForm form)
{
    FileStorage model;
    model.load(store + "Северная/12/" + file_name_of(form));
    return times_of(model);
}

struct TwoHomesCase {
    const char* name;
    WellForm form;
    bool with_well; // the well has the file before the two runs
};

} // namespace

// Two homes on one store (two machines), each with a package of the same well, run at once:
// the well ends as one of the two runs in sequence leaves it, never with fewer records,
// whether its file is real-time or classic, and whether it had the file before or both
// runs bring it new.
TEST(TwoHomes, RunsAtOnceIntoOneWellEndAsOneOfTheTwoOrders)
{
    const TwoHomesCase cases[] = {
        {"a real-time well file", WellForm::realtime, true},
        {"a classic well file", WellForm::classic, true},
        {"a real-time file both runs bring new", WellForm::realtime, false},
        {"a classic file both runs bring new", WellForm::classic, false},
    };
    for (const TwoHomesCase& c : cases) {
        TempDir dir;
        const std::string root = dir.folder();
        write_one_package(root + "in-a/", c.form, 0, 6000, 1);
        write_one_package(root + "in-b/", c.form, 3000, 6000, 1); // overlaps a's, and goes on
        write_one_package(root + "in-base/", c.form, 0, 10, 1);
        const auto fresh_home = [&](const std::string& home) {
            std::filesystem::remove_all(root + home);
            std::filesystem::create_directories(root + home);
            return root + home;
        };
        const auto in_sequence = [&](const char* first, const char* second) {
            const std::string store = root + "seq-" + first + "/";
            if (c.with_well)
                run_once(fresh_home("h0/"), root + "in-base/", store);
            run_once(fresh_home("h1/"), root + "in-" + first + "/", store);
            run_once(fresh_home("h2/"), root + "in-" + second + "/", store);
            return well_times(store, c.form);
        };
        const auto a_then_b = in_sequence("a", "b");
        const auto b_then_a = in_sequence("b", "a");
        ASSERT_NE(a_then_b, b_then_a) << c.name;
        for (int attempt = 0; attempt < 10; ++attempt) {
            const std::string store = root + "shared/";
            std::filesystem::remove_all(store);
            if (c.with_well)
                run_once(fresh_home("h0/"), root + "in-base/", store);
            std::vector<pid_t> children;
            for (const char* side : {"a", "b"}) {
                const std::string home = fresh_home(std::string("home-") + side + "/");
                const pid_t child = ::fork();
                ASSERT_GE(child, 0);
                if (child == 0)
                    ::_exit(run_once(home, root + "in-" + side + "/", store));
                children.push_back(child);
            }
            for (const pid_t child : children) {
                int status = 0;
                ::waitpid(child, &status, 0);
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name << ": a run failed";
            }
            const auto got = well_times(store, c.form);
            EXPECT_TRUE(got == a_then_b || got == b_then_a)
                << c.name << ", attempt " << attempt << ": " << got.size() << " records, in sequence "
                << a_then_b.size() << " or " << b_then_a.size();
        }
    }
}
