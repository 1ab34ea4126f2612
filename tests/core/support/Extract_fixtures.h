#pragma once
// Pieces of the extraction tests: an owner that records what a run tells it, and small
// real-time files and .zreg members to build packages from.

#include "extract/Extractthread.h"
#include "storage/Realtimedatareader.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Zreg_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace testsupport {

using Lines = std::vector<std::string>;

class RecordingOwner : public ExtractOwner {
public:
    void post_status(const std::string& text) override { statuses.push_back(text); }
    void post_progress(int percent) override { percents.push_back(percent); }
    void report_error(const std::string& caption, const std::string& message) override
    {
        EXPECT_EQ(caption, "  ОШИБКА");
        errors.push_back(message);
    }
    void post_notice(const std::string& text) override { notices.push_back(text); }

    Lines statuses;
    Lines notices;
    std::vector<int> percents;
    Lines errors;
};

// The journal with the run header's date and time taken off, after checking that the header
// carries them ("Распаковка данных: 7 марта 2021г. 9:05").
inline Lines without_run_time(Lines journal)
{
    const std::string title = std::string(extract_text::journal_title);
    if (journal.empty() || journal[0].rfind(title + " ", 0) != 0) {
        ADD_FAILURE() << "no run header with a date: " << (journal.empty() ? "(empty)" : journal[0]);
        return journal;
    }
    const std::string when = journal[0].substr(title.size() + 1);
    EXPECT_NE(when.find("г. "), std::string::npos) << journal[0];
    EXPECT_EQ(std::count(when.begin(), when.end(), ':'), 1) << journal[0];
    journal[0] = title;
    return journal;
}

inline FileStorageParam named(std::string name)
{
    FileStorageParam p;
    p.name = std::move(name);
    return p;
}

inline FileStorageItem at(std::uint32_t time)
{
    FileStorageItem item;
    item.time = time;
    item.values = {static_cast<float>(time), 1};
    return item;
}

inline testkit::Bytes realtime(std::vector<std::uint32_t> times, int version = 2)
{
    std::vector<FileStorageItem> records;
    for (std::uint32_t t : times)
        records.push_back(at(t));
    return testkit::realtime_file({named("Глубина"), named("Вес")}, records, {"Куст=1"}, version);
}

inline testkit::ZregMember member(std::string name, testkit::Bytes content)
{
    testkit::ZregMember m;
    m.name = std::move(name);
    m.content = std::move(content);
    return m;
}

} // namespace testsupport
