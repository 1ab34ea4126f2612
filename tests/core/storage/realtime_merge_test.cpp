// A merge that appends the new sectors must leave a file that loads to the same model as
// the file a whole rewrite leaves, for every kind of well file and arriving file.

#include "storage/Merge_index.h"
#include "storage/Realtime_merge.h"
#include "storage/Realtimedatareader.h"

#include "support/Expect.h"
#include "support/Merge_fixtures.h"
#include "support/TempDir.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

using testkit::Bytes;
using testkit::RealtimeFile;
using testsupport::TempDir;
using testsupport::at;
using testsupport::named;
using testsupport::plain;
using testsupport::two;
using testsupport::times_of;

namespace {

std::unique_ptr<FileStorage> loaded(const std::string& path)
{
    auto model = std::make_unique<FileStorage>();
    model->load(path);
    return model;
}

// The parts of a model a merge is about: parameters, records, text values, remarks.
void expect_same_model(const FileStorage& a, const FileStorage& b, const std::string& what)
{
    ASSERT_EQ(a.param_count, b.param_count) << what;
    for (int i = 0; i < a.param_count; ++i) {
        const FileStorageParam& p = a.params[static_cast<std::size_t>(i)];
        const FileStorageParam& q = b.params[static_cast<std::size_t>(i)];
        EXPECT_EQ(std::tie(p.name, p.text1, p.text2, p.text3, p.int_attr, p.float_attr),
                  std::tie(q.name, q.text1, q.text2, q.text3, q.int_attr, q.float_attr))
            << what << ", parameter " << i;
    }
    ASSERT_EQ(times_of(a), times_of(b)) << what;
    for (std::size_t i = 0; i < a.records.size(); ++i) {
        const FileStorageItem& r = *a.records[i];
        const FileStorageItem& s = *b.records[i];
        EXPECT_EQ(std::tie(r.depth_z, r.depth_cur, r.lag_depth, r.operation, r.stamped, r.subsecond, r.values),
                  std::tie(s.depth_z, s.depth_cur, s.lag_depth, s.operation, s.stamped, s.subsecond, s.values))
            << what << ", record " << i;
    }
    EXPECT_EQ(a.text_values.lines(), b.text_values.lines()) << what;
    EXPECT_EQ(a.remarks, b.remarks) << what;
}

struct Case {
    const char* name;
    Bytes well;
    std::vector<Bytes> arriving; // merged in turn
    std::vector<std::uint32_t> times; // of the well's file at the end
};

std::vector<Case> merge_cases()
{
    const SimpleRemark old_note{1, 2, 3, "Долив раствора"};
    const SimpleRemark new_note{4, 5, 6, "Смена долота"};
    const auto with_notes = [&](bool grown) {
        RealtimeFile file(2, lib::enc_utf8);
        file.format(2, lib::enc_utf8).params(two).record(at(10)).values_only(11, {7, 8}).remark(old_note);
        if (grown)
            file.record(at(20)).values_only(21, {9, 10}).remark(new_note);
        return file.bytes();
    };
    const std::vector<FileStorageParam> three = {named("Вес"), named("Давление", "МПа"), named("Глубина")};
    const auto cut = [](Bytes bytes, std::size_t n) {
        testkit::shrink(bytes, n);
        return bytes;
    };
    RealtimeFile in_1251(2, lib::enc_1251);
    in_1251.format(2, lib::enc_1251).params(two).record(at(10)).text_area({"Куст=1"});
    RealtimeFile two_layouts(2, lib::enc_utf8);
    two_layouts.format(2, lib::enc_utf8).params(two).record(at(10)).params({named("Вес"), named("Глубина")}).record(at(20, {1, 6}));

    return {
        {"newer records from two units on", plain({900, 1000}), {plain({1000, 1001, 1002, 1005}), plain({1003})},
         {900, 1000, 1002, 1005}},
        {"nothing newer", plain({5, 9}), {plain({1, 10})}, {5, 9}},
        {"an old-variant well keeps its variant", plain({10}, 0), {plain({20}, 2), plain({30}, 0)}, {10, 20, 30}},
        {"the largest time takes nothing more", plain({4294967294u}), {plain({4294967295u, 3})}, {4294967294u}},
        {"remarks and values-only records", with_notes(false), {with_notes(true)}, {10, 11, 20, 21}},
        {"a file merged again brings nothing twice", with_notes(false), {with_notes(true), with_notes(true), plain({30}), with_notes(true)},
         {10, 11, 20, 21, 30}},
        {"a first remark that is new keeps its text", plain({10}), {with_notes(true)}, {10, 20, 21}},
        {"arriving columns in another order, one new",
         plain({10, 20}),
         {testkit::realtime_file(three, {at(30, {30, 7, 3}), at(40, {40, 8, 4})}, {"Куст=1"}),
          testkit::realtime_file(three, {at(50, {50, 9, 5})}, {"Куст=1"}), plain({60})},
         {10, 20, 30, 40, 50, 60}},
        {"a parameter's texts change", plain({10}), {testkit::realtime_file({named("Глубина", "м"), named("Вес")}, {at(20)}, {})},
         {10, 20}},
        {"text values changed, added and removed",
         plain({10}, 2, {"Куст=1", "Бригада=5", "Мастер=Иванов"}),
         {plain({20}, 2, {"Куст=2", "Мастер=", "Смена=ночная"}), plain({30}, 2, {"Бригада=", "Бригада=6"})},
         {10, 20, 30}},
        {"a text value removed and given again moves to the end", plain({10}, 2, {"А=1", "Б=2"}),
         {plain({20}, 2, {"А=", "А=3"})}, {10, 20}},
        {"a new-variant well in code page 1251", in_1251.bytes(),
         {testkit::realtime_file({named("Глубина"), named("Вес"), named("Қысым")}, {at(20, {6, 1, 2})}, {"Аймақ=Қарағанды"})},
         {10, 20}},
        {"a well whose last parameter sector reorders the columns", two_layouts.bytes(), {plain({30})}, {10, 20, 30}},
        {"a well file with a cut last sector", cut(plain({1, 2, 3}), 20), {plain({4})}, {1, 2, 4}},
        {"a well file cut inside a header", cut(plain({1, 2}, 2, {}), 2), {plain({4})}, {1, 2, 4}},
    };
}

} // namespace

TEST(RealtimeMerge, AppendingLoadsToTheModelRewritingGives)
{
    for (const Case& c : merge_cases()) {
        TempDir dir;
        const std::string appended = dir.file("a.realtim");
        const std::string indexed = dir.file("i.realtim"); // appended, the well known from the index
        const std::string rewritten = dir.file("r.realtim");
        for (const std::string& path : {appended, indexed, rewritten})
            testkit::write_file(path, c.well);
        storage::MergeIndex index;
        for (std::size_t i = 0; i < c.arriving.size(); ++i) {
            const std::string source = dir.file(testkit::numbered("in", i) + ".realtim");
            testkit::write_file(source, c.arriving[i]);
            const bool rewritten_any = storage::merge_realtime(rewritten, source, storage::MergeWrite::rewrite);
            EXPECT_EQ(storage::merge_realtime(appended, source), rewritten_any) << c.name << ", package " << i;
            EXPECT_EQ(storage::merge_realtime(indexed, source, storage::MergeWrite::append, &index), rewritten_any)
                << c.name << ", package " << i << " with the index";
            ASSERT_NE(index.find(indexed), nullptr) << c.name;
            testsupport::expect_entry_tells_newest(*index.find(indexed), indexed, std::string(c.name) + ", package " + std::to_string(i));
        }
        const auto r = loaded(rewritten);
        expect_same_model(*loaded(appended), *r, c.name);
        expect_same_model(*loaded(indexed), *r, std::string(c.name) + ", with the index");
        EXPECT_EQ(times_of(*r), c.times) << c.name;
        for (const SimpleRemark& remark : r->remarks)
            EXPECT_FALSE(remark.text.empty()) << c.name;
    }
}

TEST(RealtimeMerge, AppendingKeepsTheWellsBytesAndAddsOnlyTheNewSectors)
{
    TempDir dir;
    const Bytes well = plain({1, 2});
    const std::string target = dir.file("w.realtim");
    testkit::write_file(target, well);
    const std::string source = dir.write("s.realtim", std::string(testkit::as_chars(plain({1, 2, 5}))));
    ASSERT_TRUE(storage::merge_realtime(target, source));
    const std::string bytes = testsupport::read_file(target);
    ASSERT_GT(bytes.size(), well.size());
    EXPECT_EQ(bytes.substr(0, well.size()), std::string(testkit::as_chars(well)));
    // One record sector of the new-variant head and two values; the layout and texts are the same.
    EXPECT_EQ(bytes.size() - well.size(), 3u + 45 + 8);
    EXPECT_TRUE(loaded(target)->warnings.empty());
}

TEST(RealtimeMerge, ACutTailIsCutOffBeforeTheAppend)
{
    TempDir dir;
    Bytes well = plain({1, 2});
    const std::size_t whole = well.size();
    well.insert(well.end(), {1, 60, 0, 9, 9}); // a record sector cut after two bytes of its body
    const std::string target = dir.file("w.realtim");
    testkit::write_file(target, well);
    const std::string source = dir.write("s.realtim", std::string(testkit::as_chars(plain({5}))));
    ASSERT_TRUE(storage::merge_realtime(target, source));
    EXPECT_EQ(std::filesystem::file_size(target), whole + 3 + 45 + 8);
    const auto model = loaded(target);
    EXPECT_EQ(times_of(*model), (std::vector<std::uint32_t>{1, 2, 5}));
    EXPECT_TRUE(model->warnings.empty());
}

TEST(RealtimeMerge, AFailingSideIsNamed)
{
    TempDir dir;
    const std::string target = dir.file("w.realtim");
    testkit::write_file(target, plain({1}));
    const std::string missing = dir.file("none.realtim");
    for (const auto how : {storage::MergeWrite::append, storage::MergeWrite::rewrite}) {
        try {
            storage::merge_realtime(target, missing, how);
            ADD_FAILURE() << "no error";
        }
        catch (const storage::MergeLoadError& error) {
            EXPECT_EQ(error.path(), missing);
        }
        try {
            storage::merge_realtime(missing, target, how);
            ADD_FAILURE() << "no error";
        }
        catch (const storage::MergeLoadError& error) {
            EXPECT_EQ(error.path(), missing);
        }
    }
}

TEST(MergeIndex, AnEntryIsTrustedOnlyWhileTheFileIsAsItWasAndSurvivesItsFile)
{
    TempDir dir;
    const std::string target = dir.file("w.realtim");
    const std::string source = dir.write("s.realtim", std::string(testkit::as_chars(plain({1, 2, 3, 50}))));
    storage::MergeIndex index(dir.file(storage::MergeIndex::file_name));

    struct Case {
        const char* name;
        std::function<void()> change; // what happens to the well file after the index saw it
        std::vector<std::uint32_t> times;
    };
    const Case cases[] = {
        {"unchanged: the index says the well ends at 40", [] {}, {1, 50}},
        {"another run appended", [&] {
             const std::string other = dir.write("o.realtim", std::string(testkit::as_chars(plain({60}))));
             storage::merge_realtime(target, other);
         }, {1, 60}},
        {"replaced by a copy", [&] {
             std::filesystem::copy_file(target, dir.file("copy"));
             std::filesystem::rename(dir.file("copy"), target);
         }, {1, 3, 50}},
    };
    for (const Case& c : cases) {
        testkit::write_file(target, plain({1}));
        storage::MergeIndex fresh;
        storage::merge_realtime(target, dir.write("none.realtim", std::string(testkit::as_chars(plain({}))) ), storage::MergeWrite::append, &fresh);
        storage::WellFileSummary summary = *fresh.find(target);
        summary.largest_time = 40; // a lie that shows whether the entry was believed
        index.put(target, summary);
        c.change();
        storage::merge_realtime(target, source, storage::MergeWrite::append, &index);
        EXPECT_EQ(times_of(*loaded(target)), c.times) << c.name;
    }
    index.save();
    const storage::MergeIndex reread(dir.file(storage::MergeIndex::file_name));
    ASSERT_NE(reread.find(target), nullptr);
    EXPECT_EQ(reread.find(target)->stamp, storage::stamp_of(target).value());
    EXPECT_EQ(reread.find(target)->largest_time, 50u);
}

TEST(MergeIndex, ADamagedIndexFileIsAnEmptyIndex)
{
    TempDir dir;
    const std::string target = dir.file("w.realtim");
    testkit::write_file(target, plain({1}));
    storage::MergeIndex index(dir.file("idx"));
    storage::merge_realtime(target, dir.write("s.realtim", std::string(testkit::as_chars(plain({5})))),
                            storage::MergeWrite::append, &index);
    index.save();
    const std::string whole = testsupport::read_file(dir.file("idx"));
    for (const std::size_t length : {std::size_t{0}, std::size_t{5}, whole.size() / 2, whole.size() - 1}) {
        dir.write("idx", whole.substr(0, length));
        EXPECT_TRUE(storage::MergeIndex(dir.file("idx")).entries().empty()) << length;
    }
    EXPECT_EQ(storage::MergeIndex(dir.file("idx-missing")).entries().size(), 0u);
}

namespace {

// A well file merged once with the index, so that the index knows it, and the index file.
struct IndexedWell {
    std::string well;
    std::string index_file;
    std::string index_bytes;
};

IndexedWell indexed_well(const TempDir& dir)
{
    IndexedWell made{dir.file("w.realtim"), dir.file("idx"), {}};
    testkit::write_file(made.well, plain({1, 2}));
    storage::MergeIndex index(made.index_file);
    storage::merge_realtime(made.well, dir.write("s.realtim", std::string(testkit::as_chars(plain({1, 2, 5})))),
                            storage::MergeWrite::append, &index);
    index.save();
    made.index_bytes = testsupport::read_file(made.index_file);
    return made;
}

// Merges records 8 and 9 into the well through the index file as it now is; the well must
// then hold every record once, in order, and read without warnings.
void expect_sound_merge(const TempDir& dir, const IndexedWell& made, const std::string& what)
{
    storage::MergeIndex index(made.index_file);
    const std::string source = dir.write("n.realtim", std::string(testkit::as_chars(plain({1, 2, 5, 8, 9}))));
    storage::merge_realtime(made.well, source, storage::MergeWrite::append, &index);
    const auto model = loaded(made.well);
    EXPECT_EQ(times_of(*model), (std::vector<std::uint32_t>{1, 2, 5, 8, 9})) << what;
    EXPECT_TRUE(model->warnings.empty()) << what;
}

} // namespace

// Damage inside the index file, not only at its end: whatever byte is flipped, the merge
// either trusts a sound entry or reads the well file whole, never appends after an end the
// file does not have nor skips records.
TEST(MergeIndex, AFlippedByteNeverLeadsAMergeAstray)
{
    TempDir dir;
    const IndexedWell made = indexed_well(dir);
    const std::string well_bytes = testsupport::read_file(made.well);
    for (std::size_t at = 0; at < made.index_bytes.size(); ++at) {
        {
            const unsigned char flip = at % 2 == 0 ? 0x01 : 0x80; // the lowest or the highest bit
            dir.write("w.realtim", well_bytes);
            std::string damaged = made.index_bytes;
            damaged[at] = static_cast<char>(damaged[at] ^ flip);
            dir.write("idx", damaged);
            // The well file was rewritten with its old bytes: the entry's stamp must match
            // again for the damage to matter, so the test puts the stamp back.
            storage::MergeIndex index(made.index_file);
            for (const auto& [path, summary] : std::map(index.entries())) {
                storage::WellFileSummary restamped = summary;
                restamped.stamp = storage::stamp_of(made.well).value();
                index.put(path, restamped);
            }
            index.save();
            expect_sound_merge(dir, made, "byte " + std::to_string(at) + " ^ " + std::to_string(flip));
        }
    }
}

// An entry that reads well and matches its file's stamp, but says the file ends elsewhere
// or knows older records than it holds: the merge must not append after that end.
TEST(MergeIndex, AWrongButPlausibleEntryIsNotBelieved)
{
    struct Lie {
        const char* name;
        std::function<void(storage::WellFileSummary&)> tell;
    };
    const Lie lies[] = {
        {"the end one record sector early", [](storage::WellFileSummary& s) { s.whole_length -= 3 + 45 + 8; }},
        {"the end one byte early", [](storage::WellFileSummary& s) { s.whole_length -= 1; }},
        {"the end inside the first sector", [](storage::WellFileSummary& s) { s.whole_length = 5; }},
        {"no whole sector at all", [](storage::WellFileSummary& s) { s.whole_length = 0; }},
    };
    for (const Lie& lie : lies) {
        TempDir dir;
        const IndexedWell made = indexed_well(dir);
        storage::MergeIndex index(made.index_file);
        ASSERT_EQ(index.entries().size(), 1u);
        storage::WellFileSummary summary = index.entries().begin()->second;
        lie.tell(summary);
        index.put(made.well, summary);
        index.save();
        expect_sound_merge(dir, made, lie.name);
    }
}
