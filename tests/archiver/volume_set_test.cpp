#include "tools/archiver/Volume_set.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct VolumeCase {
    const char* path;
    std::uint64_t index;
    std::optional<std::string> expected;
};

class RarVolumePath : public testing::TestWithParam<VolumeCase> {};

TEST_P(RarVolumePath, keeps_the_sets_name_and_number_width)
{
    EXPECT_EQ(archiver::rar_volume_path(GetParam().path, GetParam().index), GetParam().expected) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Names, RarVolumePath,
    testing::Values(
        VolumeCase{"/in/a.part03.rar", 0, "/in/a.part01.rar"},
        VolumeCase{"/in/a.part1.rar", 4, "/in/a.part5.rar"},
        VolumeCase{"/in/a.part9.rar", 9, "/in/a.part10.rar"},   // a wider number is still found
        VolumeCase{"/in/A.PART001.RAR", 11, "/in/A.PART012.RAR"},
        VolumeCase{"/in/x.part2/a.part07.rar", 0, "/in/x.part2/a.part01.rar"},
        VolumeCase{"/in/a.rar", 1, std::nullopt},               // old naming: .r00, .r01 ...
        VolumeCase{"/in/a.part.rar", 1, std::nullopt},
        VolumeCase{"/in/apart01.rar", 1, std::nullopt},
        VolumeCase{"/in/a.part01.zip", 1, std::nullopt}));

} // namespace
