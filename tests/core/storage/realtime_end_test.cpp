// The walker that reads a well file's end meets the real writer and the full reader: on
// files they write it finds the newest record a full load finds, and on damaged ones it
// finds that same record or says it cannot, never another.

#include "storage/Realtime_end.h"

#include "platform/File.h"
#include "storage/Realtimedatareader.h"

#include "support/TempDir.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using storage::FileWindow;
using storage::NewestRecord;
using storage::SectorWalk;
using testkit::Bytes;
using testkit::RealtimeFile;
using testsupport::TempDir;

namespace {

FileStorageParam named(std::string name)
{
    FileStorageParam p;
    p.name = std::move(name);
    p.text1 = "описание";
    p.text2 = "ед";
    p.text3 = "кр";
    return p;
}

const std::vector<FileStorageParam> two_params = {named("Глубина"), named("Вес")};

FileStorageItem at(std::uint32_t time, float depth)
{
    FileStorageItem item;
    item.time = time;
    item.depth_z = depth;
    item.values = {1, 2};
    return item;
}

// The newest record of a full load; nullopt when the load fails.
std::optional<NewestRecord> loaded_newest(const std::string& path)
{
    try {
        FileStorage model;
        model.load(path);
        NewestRecord newest;
        for (const auto& record : model.records)
            newest.take(record->time, record->stamped ? record->depth_z : NAN);
        return newest;
    }
    catch (const std::exception&) {
        return std::nullopt;
    }
}

struct Opened {
    platform::OpenResult opened;
    std::uint64_t size = 0;
};

Opened open_file(const std::string& path)
{
    Opened o{platform::open_regular_file(path, platform::OpenAccess::read), 0};
    o.size = storage::stamp_of(o.opened.fd.get())->size;
    return o;
}

// The walk from the first sector; nullopt where the walker cannot tell.
std::optional<SectorWalk> walked(const std::string& path)
{
    Opened o = open_file(path);
    FileWindow window(o.opened.fd.get(), o.size, 64);
    SectorWalk walk;
    if (!storage::walk_sectors(window, o.size, walk))
        return std::nullopt;
    return walk;
}

void expect_same(const NewestRecord& walked, const NewestRecord& loaded, const std::string& what)
{
    EXPECT_EQ(walked.time, loaded.time) << what;
    if (std::isnan(loaded.depth))
        EXPECT_TRUE(std::isnan(walked.depth)) << what;
    else
        EXPECT_EQ(walked.depth, loaded.depth) << what;
}

struct WrittenCase {
    const char* name;
    std::function<Bytes()> bytes;
};

SimpleRemark remark(std::string text)
{
    SimpleRemark r;
    r.value1 = 7;
    r.text = std::move(text);
    return r;
}

const std::vector<WrittenCase>& written_cases()
{
    static const std::vector<WrittenCase> cases = {
        {"old variant", [] { return RealtimeFile(0).params(two_params).record(at(100, 10)).record(at(200, 20)).bytes(); }},
        {"new variant",
         [] { return RealtimeFile(2).format(2, lib::enc_utf8).params(two_params).record(at(100, 10)).record(at(200, 20)).bytes(); }},
        {"remarks between and after records",
         [] {
             return RealtimeFile(2).format(2, lib::enc_utf8).params(two_params).record(at(100, 10)).remark(remark("долив"))
                 .record(at(200, 20)).remark(remark("конец")).bytes();
         }},
        {"a values-only record is the newest, its depth from the one before",
         [] { return RealtimeFile(0).params(two_params).record(at(100, 10)).values_only(300, {1, 2}).bytes(); }},
        {"text and parameter sectors after the last record",
         [] {
             return RealtimeFile(2).format(2, lib::enc_utf8).params(two_params).record(at(200, 20)).text_area({"Куст=5"})
                 .params({named("Глубина"), named("Вес"), named("Газ")}).bytes();
         }},
        {"an older record after the newest",
         [] { return RealtimeFile(0).params(two_params).record(at(300, 30)).record(at(100, 10)).bytes(); }},
        {"two records of the newest time: the later one's depth",
         [] { return RealtimeFile(0).params(two_params).record(at(300, 30)).record(at(300, 31)).bytes(); }},
        {"old records before any parameter are not the reader's",
         [] { return RealtimeFile(0).record(at(900, 90)).params(two_params).record(at(100, 10)).bytes(); }},
        {"a reserved sector type is gone over",
         [] { return RealtimeFile(0).params(two_params).record(at(100, 10)).raw_sector(50, {1, 2, 3}).bytes(); }},
        {"no record at all", [] { return RealtimeFile(2).format(2, lib::enc_utf8).params(two_params).bytes(); }},
        {"the synthetic file of both variants",
         [] { return testkit::realtime_file(testkit::synthetic_params(6), testkit::synthetic_records(30, 6, 3), {"Куст=5"}, 2); }},
    };
    return cases;
}

// A well file as the program saves it, of the variant `version`.
std::string saved_by_model(const TempDir& dir, int version)
{
    FileStorage model;
    model.version = version;
    for (const FileStorageParam& p : two_params)
        model.add_parameter(p);
    model.add_record(at(100, 10));
    model.add_record(at(250, 25));
    model.remarks.push_back(remark("спуск"));
    model.text_values.set_value("Куст", "5");
    const std::string path = dir.file("saved" + std::to_string(version) + ".realtim");
    model.save_realtime(path, lib::io::Durability::scratch);
    return path;
}

} // namespace

TEST(RealtimeEnd, WalkFindsTheNewestRecordAFullLoadFindsInWrittenFiles)
{
    TempDir dir;
    const std::string path = dir.file("well.realtim");
    for (const WrittenCase& c : written_cases()) {
        testkit::write_file(path, c.bytes());
        const std::optional<SectorWalk> walk = walked(path);
        ASSERT_TRUE(walk) << c.name;
        expect_same(walk->newest, *loaded_newest(path), c.name);
        EXPECT_EQ(walk->end, c.bytes().size()) << c.name;
    }
    for (const int version : {0, 2}) {
        const std::string saved = saved_by_model(dir, version);
        const std::optional<SectorWalk> walk = walked(saved);
        ASSERT_TRUE(walk) << "saved, version " << version;
        expect_same(walk->newest, *loaded_newest(saved), "saved");
        EXPECT_EQ(walk->newest.time, 250u);
    }
}

TEST(RealtimeEnd, WalkGoesOnFromWhereItStoppedWhenTheFileGrew)
{
    TempDir dir;
    const std::string path = dir.file("well.realtim");
    RealtimeFile file(2);
    file.format(2, lib::enc_utf8).params(two_params).record(at(100, 10));
    testkit::write_file(path, file.bytes());
    std::optional<SectorWalk> walk = walked(path);
    ASSERT_TRUE(walk);
    file.record(at(200, 20)).values_only(300, {5, 6});
    testkit::write_file(path, file.bytes());
    Opened o = open_file(path);
    FileWindow window(o.opened.fd.get(), o.size);
    ASSERT_TRUE(storage::walk_sectors(window, o.size, *walk));
    expect_same(walk->newest, *loaded_newest(path), "grown");
    EXPECT_EQ(walk->newest.time, 300u);
    EXPECT_EQ(walk->newest.depth, 20.f);
}

TEST(RealtimeEnd, IndexedRecordIsFoundAtTheEndOrBeforeClosingSectors)
{
    TempDir dir;
    const std::string path = dir.file("well.realtim");
    struct Case {
        const char* name;
        std::function<void(RealtimeFile&)> close;
        std::uint32_t largest;
        bool found;
    };
    const Case cases[] = {
        {"the record ends the file", [](RealtimeFile&) {}, 200, true},
        {"a text sector closes it", [](RealtimeFile& f) { f.text_area({"Куст=5", "Скважина=12"}); }, 200, true},
        {"a remark and the parameters close it", [](RealtimeFile& f) { f.remark(remark("конец")).params(two_params); }, 200, true},
        {"an index of another largest time", [](RealtimeFile&) {}, 201, false},
        {"a newer values-only record after it", [](RealtimeFile& f) { f.values_only(300, {1, 2}); }, 200, false},
    };
    for (const Case& c : cases) {
        RealtimeFile file(2);
        file.format(2, lib::enc_utf8).params(two_params).record(at(100, 10)).record(at(200, 20));
        c.close(file);
        testkit::write_file(path, file.bytes());
        Opened o = open_file(path);
        storage::WellFileSummary summary;
        summary.stamp = *storage::stamp_of(path);
        summary.whole_length = o.size;
        summary.largest_time = c.largest;
        summary.version = 2;
        summary.params = two_params;
        summary.layout = {0, 1};
        FileWindow window(o.opened.fd.get(), o.size);
        const std::optional<SectorWalk> walk = storage::indexed_newest(window, summary);
        ASSERT_EQ(walk.has_value(), c.found) << c.name;
        if (walk) {
            expect_same(walk->newest, *loaded_newest(path), c.name);
            EXPECT_EQ(walk->end, o.size) << c.name;
        }
    }
}

// Damage of every kind at every place of a small file: the walker never crashes, and where
// it answers, the answer is the newest record of a full load of the same bytes.
TEST(RealtimeEnd, DamagedFilesGiveTheLoadsNewestRecordOrNoAnswer)
{
    TempDir dir;
    const std::string path = dir.file("damaged.realtim");
    const Bytes originals[] = {
        RealtimeFile(0).params(two_params).record(at(100, 10)).remark(remark("р")).record(at(200, 20)).values_only(300, {1, 2})
            .bytes(),
        RealtimeFile(2).format(2, lib::enc_utf8).params(two_params).record(at(100, 10)).text_area({"Куст=5"})
            .record(at(200, 20)).remark(remark("р")).bytes(),
    };
    std::mt19937 rng(20261211);
    int answered = 0;
    int tried = 0;
    const auto check = [&](const Bytes& bytes, const std::string& what) {
        testkit::write_file(path, bytes);
        const std::optional<SectorWalk> walk = walked(path);
        const std::optional<NewestRecord> loaded = loaded_newest(path);
        ++tried;
        if (!walk || !loaded)
            return;
        ++answered;
        expect_same(walk->newest, *loaded, what);
    };
    for (const Bytes& original : originals) {
        for (std::size_t offset = 0; offset < original.size(); ++offset) {
            for (const std::uint8_t flip : {0x01, 0x80, 0xFF}) {
                Bytes bytes = original;
                bytes[offset] ^= flip;
                check(bytes, "byte " + std::to_string(offset) + " ^ " + std::to_string(flip));
            }
        }
        for (std::size_t length = 0; length < original.size(); ++length)
            check(Bytes(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(length)),
                  "cut at " + std::to_string(length));
        for (int round = 0; round < 200; ++round) {
            Bytes bytes = original;
            for (std::size_t n = 1 + rng() % 40; n > 0; --n)
                bytes.push_back(static_cast<std::uint8_t>(rng()));
            check(bytes, "stray tail, round " + std::to_string(round));
        }
    }
    // Most damage leaves the walk an answer: the full reader is the exception.
    EXPECT_GT(answered, tried / 2);
}
