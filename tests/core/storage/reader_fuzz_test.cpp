// Damaged files of every shape must load without a crash, a read outside the input or an
// endless loop: valid files written by the test kit, then mutated at random (seeded, so a
// failure repeats). Runs under the sanitizers in the test command.

#include "storage/Realtimedatareader.h"

#include "support/TempDir.h"
#include "testkit/Classic_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

using testkit::Bytes;
using testsupport::TempDir;

namespace {

// DRAVINEX_FUZZ_ROUNDS raises the count for a longer hunt by hand.
int rounds()
{
    const char* wanted = std::getenv("DRAVINEX_FUZZ_ROUNDS");
    return wanted ? std::max(1, std::atoi(wanted)) : 600;
}

void mutate(Bytes& bytes, std::mt19937& rng)
{
    const auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
    switch (rng() % 5) {
    case 0: // a few bytes changed
        for (int i = 0, n = 1 + static_cast<int>(rng() % 8); i < n && !bytes.empty(); ++i)
            bytes[pick(bytes.size())] = static_cast<std::uint8_t>(rng());
        break;
    case 1: // cut short
        bytes.resize(pick(bytes.size() + 1));
        break;
    case 2: // garbage inserted
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(pick(bytes.size() + 1)), 1 + rng() % 40,
                     static_cast<std::uint8_t>(rng()));
        break;
    case 3: // a sector size pushed to an extreme
        if (bytes.size() > 3) {
            const std::size_t at = pick(bytes.size() - 2);
            const std::uint8_t extremes[] = {0x00, 0x7F, 0x80, 0xFF};
            bytes[at] = extremes[rng() % 4];
            bytes[at + 1] = extremes[rng() % 4];
        }
        break;
    default: // a span zeroed
        if (!bytes.empty()) {
            const std::size_t at = pick(bytes.size());
            std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + 1 + rng() % 64)), 0);
        }
    }
}

Bytes sample_realtime(int version)
{
    const auto params = testkit::synthetic_params(6);
    const auto records = testkit::synthetic_records(20, 6, 3);
    return testkit::realtime_file(params, records, {"Куст=5", "Скважина=\"12\""}, version);
}

} // namespace

TEST(ReaderFuzz, DamagedRealtimeFilesLoadWithoutFailing)
{
    TempDir dir;
    std::mt19937 rng(20261210);
    const Bytes originals[] = {sample_realtime(0), sample_realtime(2)};
    const std::string path = dir.file("fuzz.realtim");
    for (int round = 0; round < rounds(); ++round) {
        Bytes bytes = originals[round % 2];
        for (int n = 1 + static_cast<int>(rng() % 3); n > 0; --n)
            mutate(bytes, rng);
        testkit::write_file(path, bytes);
        FileStorage model;
        ASSERT_NO_THROW(model.load(path)) << "round " << round << "\n" << testkit::hex_dump(bytes);
        for (const auto& record : model.records)
            ASSERT_LE(record->values.size(), static_cast<std::size_t>(model.param_count));
    }
}

TEST(ReaderFuzz, DamagedClassicFilesLoadWithWarningsAtWorst)
{
    TempDir dir;
    std::mt19937 rng(1574);
    const auto params = testkit::synthetic_params(34);
    std::vector<testkit::ClassicRecord> records;
    for (const auto& item : testkit::synthetic_records(12, 32, 5))
        records.push_back(testkit::classic_record_from(item));
    const Bytes list = testkit::classic_param_list(params);
    const Bytes data = testkit::classic_file(records);
    for (int round = 0; round < rounds(); ++round) {
        Bytes mutated_list = list;
        Bytes mutated_data = data;
        mutate(round % 2 ? mutated_list : mutated_data, rng);
        testkit::write_file(dir.file("inpgti.nbl"), mutated_list);
        testkit::write_file(dir.file("fuzz.tim"), mutated_data);
        FileStorage model;
        ASSERT_NO_THROW(model.load(dir.file("fuzz.tim"))) << "round " << round;
        EXPECT_EQ(model.param_count, 32);
    }
}
