#pragma once
// Fixtures of the merge tests: a named parameter, a record whose values follow its time, and
// a plain two-parameter real-time file of records at the given times.

#include "storage/Realtimedatareader.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"

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

} // namespace testsupport
