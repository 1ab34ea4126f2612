#pragma once
// Fixtures of the merge tests: a named parameter, a record whose values follow its time, a
// plain two-parameter real-time file of records at the given times, and the check that an
// index entry tells the newest record the reader finds in its file.

#include "storage/Merge_index.h"
#include "storage/Realtimedatareader.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

inline FileStorageParam named(std::string name, std::string text1 = "")
{
    FileStorageParam p;
    p.name = std::move(name);
    p.text1 = std::move(text1);
    return p;
}

inline FileStorageItem at(std::uint32_t time, std::vector<float> values = {})
{
    FileStorageItem item;
    item.time = time;
    item.depth_z = static_cast<float>(time) / 10;
    item.values = values.empty() ? std::vector<float>{static_cast<float>(time), 1} : std::move(values);
    return item;
}

inline const std::vector<FileStorageParam> two = {named("Глубина"), named("Вес")};

inline testkit::Bytes plain(std::vector<std::uint32_t> times, int version = 2,
                            std::vector<std::string> text = {"Куст=1"})
{
    std::vector<FileStorageItem> records;
    for (std::uint32_t t : times)
        records.push_back(at(t));
    return testkit::realtime_file(two, records, text, version);
}

// The overview takes a merged file's newest record from its entry without reading the file.
inline void expect_entry_tells_newest(const storage::WellFileSummary& entry, const std::string& path,
                                      const std::string& what)
{
    FileStorage model;
    model.load(path);
    const storage::NewestRecord newest = model.newest_record();
    EXPECT_EQ(entry.largest_time, newest.time) << what;
    EXPECT_TRUE(std::isnan(entry.newest_depth) ? std::isnan(newest.depth) : entry.newest_depth == newest.depth)
        << what << ": the entry's depth " << entry.newest_depth << ", the file's " << newest.depth;
}

} // namespace testsupport
