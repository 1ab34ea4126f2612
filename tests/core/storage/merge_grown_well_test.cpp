// A well file that another home merged into since this home's index saw it: the merge reads
// only what was appended after the entry's end and must end exactly as a merge that reads
// the whole file, bytes of the well and index entry alike.
#include "storage/Merge_index.h"
#include "storage/Realtime_merge.h"
#include "support/Merge_fixtures.h"
#include "support/TempDir.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using testkit::Bytes;
using testkit::RealtimeFile;
using testsupport::TempDir;
using testsupport::at;
using testsupport::named;
using testsupport::plain;
using testsupport::two;

namespace {

Bytes with_remark(std::uint32_t time, const char* text)
{
    RealtimeFile file(2, lib::enc_utf8);
    file.format(2, lib::enc_utf8).params(two).record(at(time)).remark({1, 2, 3, text});
    return file.bytes();
}

Bytes values_only_at(std::uint32_t time)
{
    RealtimeFile file(2, lib::enc_utf8);
    file.format(2, lib::enc_utf8).params(two).values_only(time, {7, 8});
    return file.bytes();
}

struct Case {
    const char* name;
    Bytes well;
    Bytes ours;   // merged by this home, whose index then knows the well
    Bytes theirs; // merged by another home: this home's entry is stale
    Bytes next;   // merged by this home again
    // Damage done to the well between the merges (another machine's torn append, say).
    std::function<void(const std::string&)> meanwhile = [](const std::string&) {};
};

std::vector<Case> cases()
{
    const std::vector<FileStorageParam> three = {named("Вес"), named("Давление", "МПа"), named("Глубина")};
    return {
        {"records only", plain({10}), plain({20}), plain({30}), plain({40, 50})},
        {"the other home brought remarks, ours repeats one",
         plain({10}), with_remark(20, "Долив"), with_remark(30, "Смена долота"), with_remark(40, "Смена долота")},
        {"the other home changed the text values", plain({10}, 2, {"Куст=1", "Бригада=5"}), plain({20}),
         plain({30}, 2, {"Куст=2", "Смена=ночная"}), plain({40}, 2, {"Куст=3"})},
        {"the other home brought another column layout", plain({10}), plain({20}),
         testkit::realtime_file(three, {at(30, {30, 7, 3})}, {"Куст=1"}), plain({40})},
        {"an old-variant well", plain({10}, 0), plain({20}, 0), plain({30}, 2), plain({40}, 0)},
        {"nothing newer after the other home's merge", plain({10}), plain({20}), plain({30, 40}), plain({35})},
        // Its records carry no depths: the newest depth is still the one this home's entry knew.
        {"the other home brought only a values-only record", plain({10}), plain({20}), values_only_at(30), plain({31})},
        {"the other home left a torn sector", plain({10}), plain({20}), plain({30}), plain({40}),
         [](const std::string& well) {
             std::filesystem::resize_file(well, std::filesystem::file_size(well) - 5);
         }},
    };
}

void write(const std::string& path, const Bytes& bytes)
{
    testkit::write_file(path, bytes);
}

// The entry without its stamp, which differs between two files of the same bytes.
storage::WellFileSummary unstamped(storage::WellFileSummary summary)
{
    summary.stamp = {};
    return summary;
}

void expect_same_entry(const storage::WellFileSummary& a, const storage::WellFileSummary& b, const std::string& what)
{
    const storage::WellFileSummary x = unstamped(a), y = unstamped(b);
    EXPECT_EQ(x.whole_length, y.whole_length) << what;
    EXPECT_EQ(x.end_check, y.end_check) << what;
    EXPECT_EQ(x.largest_time, y.largest_time) << what;
    EXPECT_EQ(x.version, y.version) << what;
    EXPECT_EQ(x.encoding, y.encoding) << what;
    ASSERT_EQ(x.params.size(), y.params.size()) << what;
    for (std::size_t i = 0; i < x.params.size(); ++i)
        EXPECT_TRUE(x.params[i].name == y.params[i].name && x.params[i].text1 == y.params[i].text1) << what << ", " << i;
    EXPECT_EQ(x.layout, y.layout) << what;
    EXPECT_EQ(x.text_lines, y.text_lines) << what;
    EXPECT_EQ(x.remarks, y.remarks) << what;
}

// Runs the case's merges into `well`; the last one with this home's (stale) index, or with
// none, so that it reads the whole file.
storage::WellFileSummary merge_in_turn(const TempDir& dir, const std::string& well, const Case& c, bool indexed)
{
    write(well, c.well);
    storage::MergeIndex ours;
    storage::merge_realtime(well, dir.write("ours.realtim", std::string(testkit::as_chars(c.ours))),
                            storage::MergeWrite::append, &ours);
    storage::merge_realtime(well, dir.write("theirs.realtim", std::string(testkit::as_chars(c.theirs))),
                            storage::MergeWrite::append, nullptr);
    c.meanwhile(well);
    storage::MergeIndex none;
    storage::MergeIndex& index = indexed ? ours : none;
    storage::merge_realtime(well, dir.write("next.realtim", std::string(testkit::as_chars(c.next))),
                            storage::MergeWrite::append, &index);
    const storage::WellFileSummary* entry = index.find(well);
    return entry ? *entry : storage::WellFileSummary{};
}

} // namespace

TEST(MergeIntoAGrownWell, EndsAsAMergeThatReadsTheWholeFile)
{
    for (const Case& c : cases()) {
        TempDir dir;
        const std::string read_whole = dir.file("whole.realtim"), read_grown = dir.file("grown.realtim");
        const storage::WellFileSummary whole_entry = merge_in_turn(dir, read_whole, c, false);
        const storage::WellFileSummary grown_entry = merge_in_turn(dir, read_grown, c, true);
        EXPECT_EQ(testsupport::read_file(read_grown), testsupport::read_file(read_whole)) << c.name;
        expect_same_entry(grown_entry, whole_entry, c.name);
        testsupport::expect_entry_tells_newest(grown_entry, read_grown, c.name);
        testsupport::expect_entry_tells_newest(whole_entry, read_whole, std::string(c.name) + ", read whole");
    }
}

// The part of the file the entry stands for is not read again: a byte changed there (which
// a whole read would see as another parameter name) leaves the grown merge as it was.
TEST(MergeIntoAGrownWell, ReadsOnlyWhatFollowsTheEntrysEnd)
{
    TempDir dir;
    const std::string well = dir.file("w.realtim");
    write(well, plain({10}));
    storage::MergeIndex index;
    storage::merge_realtime(well, dir.write("a.realtim", std::string(testkit::as_chars(plain({20})))),
                            storage::MergeWrite::append, &index);
    storage::merge_realtime(well, dir.write("b.realtim", std::string(testkit::as_chars(plain({30})))),
                            storage::MergeWrite::append, nullptr);
    // "Вес" is the second parameter's name in the first parameter sector, far from the end.
    std::string bytes = testsupport::read_file(well);
    const std::size_t name = bytes.find("\xD0\x92\xD0\xB5\xD1\x81");
    ASSERT_NE(name, std::string::npos);
    bytes[name + 5] = '\x82'; // "Вет"
    dir.write("w.realtim", bytes);
    storage::merge_realtime(well, dir.write("c.realtim", std::string(testkit::as_chars(plain({40})))),
                            storage::MergeWrite::append, &index);
    ASSERT_NE(index.find(well), nullptr);
    EXPECT_EQ(index.find(well)->params.at(1).name, "Вес");
    EXPECT_EQ(index.find(well)->largest_time, 40u);
}
