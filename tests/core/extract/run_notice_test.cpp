// The texts of the desktop notifications of finished runs.

#include "extract/Run_notice.h"

#include <gtest/gtest.h>

namespace {

ExtractResult with_wells(std::vector<WellName> wells)
{
    ExtractResult result;
    result.new_data = std::move(wells);
    return result;
}

ExtractResult with_failures(std::vector<PackageFailure> failures)
{
    ExtractResult result;
    result.failed = static_cast<int>(failures.size());
    result.failures = std::move(failures);
    return result;
}

} // namespace

TEST(RunNotice, NamesTheWellsAndTheFailedPackagesInOneNoticeEach)
{
    struct Case {
        const char* what;
        std::vector<ExtractResult> results;
        std::vector<std::pair<std::string, std::string>> expected; // title, body
    };
    const std::vector<WellName> nine = {{"А", "1"}, {"А", "2"}, {"А", "3"}, {"А", "4"}, {"А", "5"},
                                        {"А", "6"}, {"А", "7"}, {"А", "8"}, {"А", "9"}};
    const Case cases[] = {
        {"nothing new", {ExtractResult{}}, {}},
        {"one well", {with_wells({{"Северная", "12"}})}, {{"Новые данные: 1 скважина", "Северная/12"}}},
        {"wells of several runs, each once",
         {with_wells({{"Северная", "12"}, {"Южное", "7"}}), with_wells({{"Северная", "12"}})},
         {{"Новые данные: 2 скважины", "Северная/12\nЮжное/7"}}},
        {"a long list ends with the rest counted",
         {with_wells(nine)},
         {{"Новые данные: 9 скважин", "А/1\nА/2\nА/3\nА/4\nА/5\nА/6\nА/7\nА/8\nи ещё 1"}}},
        {"a failure: the package's name and the first line of why",
         {with_failures({{"/in/sub/bad.zreg", "повреждён пакет\nподробности", false}})},
         {{"Ошибка распаковки: 1 пакет", "bad.zreg: повреждён пакет"}}},
        {"a failure repeated unchanged is not told again",
         {with_failures({{"/in/bad.zreg", "повреждён", true}})},
         {}},
        {"new data first, then the failures",
         {with_wells({{"Северная", "12"}}), with_failures({{"/in/a.rar", "x", false}, {"/in/b.rar", "y", false}})},
         {{"Новые данные: 1 скважина", "Северная/12"}, {"Ошибка распаковки: 2 пакета", "a.rar: x\nb.rar: y"}}},
    };
    for (const Case& c : cases) {
        const std::vector<RunNotice> notices = run_notices(c.results);
        ASSERT_EQ(notices.size(), c.expected.size()) << c.what;
        for (std::size_t i = 0; i < notices.size(); ++i) {
            EXPECT_EQ(notices[i].title, c.expected[i].first) << c.what;
            EXPECT_EQ(notices[i].body, c.expected[i].second) << c.what;
            EXPECT_EQ(notices[i].failure, c.expected[i].first.starts_with("Ошибка")) << c.what;
        }
    }
}

// A reason too long for a notice is cut and marked "…"; the cut never splits a character,
// whatever byte of a two-, three- or four-byte character the limit falls on, and takes off
// no more than that character.
TEST(RunNotice, ALongReasonIsCutAtAWholeCharacter)
{
    const std::string ellipsis = "…";
    const std::string name = "a.zreg: ";
    const auto kept_of = [&](const std::string& why) {
        const std::vector<RunNotice> notices = run_notices({with_failures({{"/in/a.zreg", why, false}})});
        EXPECT_EQ(notices.size(), 1u);
        const std::string& body = notices.at(0).body;
        EXPECT_TRUE(body.starts_with(name) && body.ends_with(ellipsis)) << body;
        return body.substr(name.size(), body.size() - name.size() - ellipsis.size());
    };
    const std::size_t limit = kept_of(std::string(400, 'x')).size(); // ASCII is cut at the limit itself
    ASSERT_GT(limit, 0u);
    ASSERT_LT(limit, 400u);

    for (const std::string letter : {"ю", "€", "𝄞"}) {
        for (std::size_t lead = 0; lead < letter.size(); ++lead) {
            std::string why(lead, 'x'); // shifts the letters, so the limit meets each of their bytes
            while (why.size() < 2 * limit)
                why += letter;
            const std::string kept = kept_of(why);
            const std::string what = letter + " after " + std::to_string(lead) + " ASCII bytes";
            EXPECT_TRUE(why.starts_with(kept)) << what;
            EXPECT_LE(kept.size(), limit) << what;
            EXPECT_GT(kept.size() + letter.size(), limit) << what << ": more than one character was taken off";
            EXPECT_EQ((kept.size() - lead) % letter.size(), 0u) << what << ": the cut split a character";
        }
    }
}

TEST(RunNotice, CountsTakeTheRussianFormOfTheNoun)
{
    const std::pair<int, const char*> cases[] = {{1, "1 пакет"},    {2, "2 пакета"},    {4, "4 пакета"},
                                                 {5, "5 пакетов"},  {11, "11 пакетов"}, {12, "12 пакетов"},
                                                 {14, "14 пакетов"}, {21, "21 пакет"},  {22, "22 пакета"},
                                                 {111, "111 пакетов"}, {0, "0 пакетов"}};
    for (const auto& [count, text] : cases)
        EXPECT_EQ(count_of(count, "пакет", "пакета", "пакетов"), text);
}
