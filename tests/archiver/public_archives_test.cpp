// The built 7za on archives made by other programs (tests/archiver/data, with EXPECTED.json):
// every file a correct extractor yields, with its size and SHA-256, or a failure that leaves
// no file behind. A RAR volume set comes out whole from any of its volumes, or not at all.

#include "Sha256.h"
#include "Test_archive.h"

#include "core/support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <clocale>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Produced {
    std::uint64_t size;
    std::string sha;
    bool operator==(const Produced&) const = default;
};

void PrintTo(const Produced& p, std::ostream* os) { *os << p.size << " bytes, " << p.sha; }

const std::string data_folder = ARCHIVER_TEST_DATA;

nlohmann::json expected_results()
{
    return nlohmann::json::parse(testsupport::read_file(data_folder + "/EXPECTED.json"));
}

std::vector<std::string> archive_names()
{
    std::vector<std::string> names;
    const nlohmann::json all = expected_results();
    for (auto it = all.begin(); it != all.end(); ++it)
        names.push_back(it.key());
    return names;
}

class PublicArchive : public testing::TestWithParam<std::string> {
protected:
    void SetUp() override { ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }

    archiver_test::RunResult extract(const std::string& package)
    {
        return archiver_test::run_7za({"e", package, "-o" + out(), "-r"}, dir_.file("stderr.txt"));
    }
    std::string out() const { return dir_.file("out"); }

    // Every name in the output folder (hidden ones included) with its size and digest.
    std::map<std::string, Produced> produced() const
    {
        std::map<std::string, Produced> files;
        if (!fs::exists(out()))
            return files;
        for (const auto& item : fs::directory_iterator(out())) {
            const std::string contents = testsupport::read_file(item.path().string());
            files[item.path().filename().string()] = item.is_regular_file() && !item.is_symlink()
                ? Produced{contents.size(), archiver_test::sha256_hex(contents)}
                : Produced{0, "<not a file>"};
        }
        return files;
    }

    testsupport::TempDir dir_;
};

TEST_P(PublicArchive, gives_what_a_correct_extractor_gives)
{
    const nlohmann::json expected = expected_results()[GetParam()];

    const auto result = extract(data_folder + "/" + GetParam());

    if (expected["expect"] == "failure") {
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.errors.find('\n'), result.errors.size() - 1) << "one line: " << result.errors;
        EXPECT_TRUE(produced().empty()) << produced().size() << " files";
        return;
    }
    std::map<std::string, Produced> files;
    const nlohmann::json& listed = expected["files"];
    for (auto it = listed.begin(); it != listed.end(); ++it)
        files[it.key()] = Produced{(*it)["size"].get<std::uint64_t>(), (*it)["sha"].get<std::string>()};
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(produced(), files);
}

INSTANTIATE_TEST_SUITE_P(Data, PublicArchive, testing::ValuesIn(archive_names()),
    [](const testing::TestParamInfo<std::string>& info) {
        std::string name = info.param.substr(0, info.param.find_last_of('.'));
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

// --- a volume set that is not whole ------------------------------------------------------------

struct PartialSetCase {
    const char* label;
    std::vector<int> present; // volume numbers copied beside each other
    int given;                // the volume handed to 7za
};

std::string volume_name(int number)
{
    return "test_read_format_rar5_multiarchive.part0" + std::to_string(number) + ".rar";
}

TEST(IncompleteVolumeSet, fails_and_writes_nothing)
{
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    const std::vector<PartialSetCase> cases{
        {"first_volume_alone", {1}, 1},
        {"a_middle_volume_missing", {1, 2, 3, 4, 6, 7, 8}, 1},
        {"the_last_volume_missing", {1, 2, 3, 4, 5, 6, 7}, 3},
        {"the_first_volume_missing", {2, 3, 4, 5, 6, 7, 8}, 2},
    };
    for (const PartialSetCase& c : cases) {
        SCOPED_TRACE(c.label);
        testsupport::TempDir dir;
        for (const int number : c.present)
            fs::copy_file(data_folder + "/" + volume_name(number), dir.file(volume_name(number)));

        const auto result = archiver_test::run_7za({"e", dir.file(volume_name(c.given)), "-o" + dir.file("out"), "-r"},
                                                   dir.file("stderr.txt"));

        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.errors.find("missing"), std::string::npos) << result.errors;
        EXPECT_FALSE(fs::exists(dir.file("out"))) << "nothing may come out of a part of a set";
    }
}

} // namespace
