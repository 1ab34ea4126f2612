// The one table of a well folder's file kinds, and the units that read it: placement's
// order, the reader's choice, the log's index and the tree's captions must all agree.
#include "catalogue/Treeclasses.h"
#include "storage/Data_file.h"
#include "storage/Data_file_kinds.h"
#include "lib/Strworks.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

using data_file_kinds::Kind;
using data_file_kinds::Placing;

namespace {

std::vector<std::string> placed(Placing placing)
{
    std::vector<std::string> extensions;
    for (const auto& kind : data_file_kinds::all) {
        if (kind.placing == placing)
            extensions.emplace_back(kind.extension);
    }
    return extensions;
}

std::string upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

} // namespace

TEST(DataFileKinds, EachExtensionOnceInLowerCaseWithItsDot)
{
    std::set<std::string_view> seen;
    for (const auto& kind : data_file_kinds::all) {
        EXPECT_TRUE(seen.insert(kind.extension).second) << kind.extension;
        ASSERT_GE(kind.extension.size(), 2u);
        EXPECT_EQ(kind.extension.front(), '.');
        EXPECT_EQ(lib::to_lower(kind.extension), kind.extension);
    }
}

// The station's packages are placed in this order: merged kinds first, then copied ones.
TEST(DataFileKinds, PlacementOrder)
{
    EXPECT_EQ(placed(Placing::merged),
              (std::vector<std::string>{".tim", ".dep", ".ldp", ".realtim", ".realdep", ".reallag"}));
    EXPECT_EQ(placed(Placing::copied), (std::vector<std::string>{".rac", ".rem", ".ini", ".nbl", ".las", ".bin",
                                                                 ".instr", ".race", ".pore"}));
}

// Every kind that holds records is read by the model and opened by the viewer, by depth
// exactly when the table says so; no other kind is taken for a data file.
TEST(DataFileKinds, TheReaderTheLogAndTheTreeFollowTheTable)
{
    for (const auto& kind : data_file_kinds::all) {
        const std::string name = "12" + std::string(kind.extension);
        const bool records = data_file_kinds::holds_records(kind.kind);
        EXPECT_EQ(data_file::readable(name), records) << name;
        EXPECT_EQ(data_file::readable("/a/B" + upper(kind.extension)), records) << name;
        EXPECT_EQ(kind.opener == data_file_kinds::Opener::viewer, records) << name;
        if (records) {
            EXPECT_EQ(data_file::index_kind_of(name) == data_file::IndexKind::depth, data_file_kinds::by_depth(kind.kind))
                << name;
            EXPECT_EQ(data_file::index_kind_of(name + ".newcompr1"), data_file::index_kind_of(name)) << name;
        }
        EXPECT_EQ(kind_caption(name), kind.caption) << name;
    }
    for (const char* other : {"a.doc", "inpgti", "x.realtim.bak", "x.tim~"}) {
        EXPECT_EQ(data_file_kinds::of_name(other), nullptr) << other;
        EXPECT_FALSE(data_file::readable(other)) << other;
        EXPECT_EQ(kind_caption(other), "") << other;
    }
}

// Two real-time kinds the station keeps beside its data but never packs.
TEST(DataFileKinds, RtmAndIncldepAreReadAndShownButNeverPlaced)
{
    const auto* rtm = data_file_kinds::of_extension(".RTM");
    const auto* incldep = data_file_kinds::of_name("/store/A/1/7.incldep");
    ASSERT_NE(rtm, nullptr);
    ASSERT_NE(incldep, nullptr);
    EXPECT_EQ(rtm->kind, Kind::time);
    EXPECT_EQ(incldep->kind, Kind::depth);
    EXPECT_EQ(rtm->placing, Placing::none);
    EXPECT_EQ(incldep->placing, Placing::none);
    EXPECT_EQ(kind_caption("7.incldep"), "Глубинный файл");
}
