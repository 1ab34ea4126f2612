// dravinex-cli extract of .rar packages made from archives of other programs
// (tests/archiver/data): each unpacks as EXPECTED.json says, and the files of the kinds the
// store takes arrive exactly; a package that must fail fails, and nothing of it arrives.

#include "Cli_run.h"

#include "archiver/Sha256.h"
#include "core/support/TempDir.h"
#include "extract/Regrarclass.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string data_folder = DRAVINEX_ARCHIVE_DATA;

// The kinds that placement puts into the store; the archives' other files stay behind.
bool placed_kind(const std::string& name)
{
    static const std::vector<std::string> kinds{".tim", ".dep", ".ldp", ".realtim", ".realdep", ".reallag", ".rac", ".rem",
                                                ".ini", ".nbl", ".las", ".bin", ".instr", ".race", ".pore"};
    const auto dot = name.find_last_of('.');
    return dot != std::string::npos && std::find(kinds.begin(), kinds.end(), name.substr(dot)) != kinds.end();
}

// Every file under `folder` by name, with its size and digest.
std::map<std::string, std::pair<std::uint64_t, std::string>> arrived(const std::string& folder)
{
    std::map<std::string, std::pair<std::uint64_t, std::string>> files;
    if (!fs::exists(folder))
        return files;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (!item.is_regular_file())
            continue;
        const std::string contents = testsupport::read_file(item.path().string());
        files[item.path().filename().string()] = {contents.size(), archiver_test::sha256_hex(contents)};
    }
    return files;
}

TEST(CliExtractPublicArchives, EachRarPackageArrivesWholeOrFails)
{
    set_archiver_path(DRAVINEX_ARCHIVER);
    const nlohmann::json expected = nlohmann::json::parse(testsupport::read_file(data_folder + "/EXPECTED.json"));
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        SCOPED_TRACE(it.key());
        testsupport::TempDir dir;
        // A volume keeps its name, so that its set is found; the zip becomes a .rar package.
        for (const auto& file : fs::directory_iterator(data_folder))
            if (file.path().filename().string().starts_with("test_read_format_rar5_multiarchive."))
                fs::copy_file(file.path(), dir.folder() + file.path().filename().string());
        const std::string package = dir.folder() + fs::path(it.key()).replace_extension(".rar").string();
        if (!fs::exists(package))
            fs::copy_file(data_folder + "/" + it.key(), package);
        const std::string store = dir.folder() + "store/";
        fs::create_directory(store);

        const clitest::CliRun run = clitest::run_cli({"extract", "--home", dir.folder(), "--to", store, package});

        if ((*it)["expect"] == "failure") {
            EXPECT_EQ(run.status, 1) << run.err;
            EXPECT_NE(run.err.find("damaged package"), std::string::npos) << run.err;
            EXPECT_TRUE(arrived(store).empty());
            continue;
        }
        EXPECT_EQ(run.status, 0) << run.err;
        std::map<std::string, std::pair<std::uint64_t, std::string>> files;
        for (auto f = (*it)["files"].begin(); f != (*it)["files"].end(); ++f)
            if (placed_kind(f.key()))
                files[f.key()] = {(*f)["size"].get<std::uint64_t>(), (*f)["sha"].get<std::string>()};
        EXPECT_EQ(arrived(store), files);
    }
    set_archiver_path("");
}

} // namespace
