#include "storage/Load_warnings.h"

#include "storage/Realtimedatareader.h"
#include "support/TempDir.h"
#include "testkit/Realtime_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

using testsupport::TempDir;

// Each warning a real-time file can carry is kept as its key in the model and read by a
// person as a Russian sentence; the sentences differ, so none stands for another.
TEST(LoadWarnings, EachKeyOfTheReaderReadsAsARussianSentence)
{
    struct Case {
        const char* key;
        const char* says; // a part of the sentence that tells what happened
    };
    const Case cases[] = {
        {"msg_data_skips", "недостающие значения этих записей прочитаны как нули"},
        {"msg_data_corrupt", "Файл повреждён: испорченные участки пропущены"},
        {"msg_data_old_version", "в старом варианте формата"},
    };
    TempDir dir;
    std::set<std::string> texts;
    for (const testkit::WarnedFile& file : testkit::realtime_files_with_warnings()) {
        const std::string path = dir.file("well.realtim");
        testkit::write_file(path, file.bytes);
        FileStorage model;
        model.load(path);
        ASSERT_EQ(model.warnings, std::vector<std::string>{file.key});
        const std::string text = storage::warning_text(model.warnings.front());
        texts.insert(text);
        const auto c = std::find_if(std::begin(cases), std::end(cases), [&](const Case& c) { return c.key == file.key; });
        ASSERT_NE(c, std::end(cases)) << file.key;
        EXPECT_NE(text.find(c->says), std::string::npos) << file.key << ": " << text;
        EXPECT_EQ(text.back(), '.') << text;
    }
    EXPECT_EQ(texts.size(), std::size(cases));
}

TEST(LoadWarnings, AWarningThatIsNoKeyIsShownAsItIs)
{
    for (const std::string warning : {"Некорректная глубина на записи №5", "", "msg_data_unknown"})
        EXPECT_EQ(storage::warning_text(warning), warning);
}
