// Writes a realistic set of sample packages for demonstrations and benchmarks:
//   dravinex-samples DIR [--scale N]
// Two areas, three wells, several runs each, in all five package kinds: .zreg with
// real-time, compact classic and ".newcompr1" members, a .rar of planar classic files, a
// .7z_reg of ".compr1" streams, and .compr_rt and .compr2_rt column-file sets, with station
// identity files in both encodings. --scale multiplies the number of records.

#include "testkit/Archive_writer.h"
#include "testkit/Classic_writer.h"
#include "testkit/Compressed_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"
#include "testkit/Zreg_writer.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

namespace {

constexpr std::size_t records_per_run = 2000;
constexpr std::size_t params = 24;
constexpr int runs_per_well = 3;

testkit::ZregMember member(std::string name, testkit::Bytes content, std::uint8_t kind = 0)
{
    testkit::ZregMember m;
    m.kind = kind;
    m.name = std::move(name);
    m.content = std::move(content);
    return m;
}

testkit::Bytes text_bytes(const std::string& text)
{
    return testkit::Bytes(text.begin(), text.end());
}

std::string run_name(int run)
{
    char name[8];
    std::snprintf(name, sizeof name, "%04d", run);
    return name;
}

// Records of one run of a well: the runs follow each other in time, and each package
// repeats the last records of the run before it, as a station's resend does.
std::vector<FileStorageItem> run_records(std::size_t count, int run, std::uint32_t seed)
{
    auto records = testkit::synthetic_records(count * static_cast<std::size_t>(run), params, seed);
    const std::size_t first = count * static_cast<std::size_t>(run - 1);
    return {records.begin() + static_cast<std::ptrdiff_t>(first > 50 ? first - 50 : 0), records.end()};
}

void write_realtime_well(const std::filesystem::path& dir, std::size_t count)
{
    const auto names = testkit::synthetic_params(params);
    for (int run = 1; run <= runs_per_well; ++run) {
        const auto records = run_records(count, run, 12);
        std::vector<testkit::ZregMember> members = {
            member("inpgti.ini", testkit::inpgti_ini("12", "Северная", lib::enc_utf8)),
            member("well.realtim", testkit::realtime_file(names, records, {"Месторождение=Северное", "Куст=4"}, 2)),
            member(run_name(run) + ".rac", text_bytes("Рейс " + std::to_string(run) + "\r\n")),
            member(run_name(run) + ".rem", text_bytes("Заметки рейса\r\n")),
        };
        testkit::write_file((dir / ("Северная_12_рейс" + std::to_string(run) + ".zreg")).string(),
                            testkit::zreg_package(1, members));
    }
}

void write_classic_well(const std::filesystem::path& dir, std::size_t count)
{
    std::array<float, testkit::zreg::parameter_count> offsets{};
    std::array<float, testkit::zreg::parameter_count> scales{};
    for (std::size_t k = 0; k < offsets.size(); ++k) {
        offsets[k] = static_cast<float>(k) * 10;
        scales[k] = 0.5f;
    }
    for (int run = 1; run <= runs_per_well; ++run) {
        std::vector<testkit::CompactRecord> records(count);
        for (std::size_t i = 0; i < count; ++i) {
            testkit::CompactRecord& r = records[i];
            r.operation = 1;
            r.time = 1600000000u + static_cast<std::uint32_t>((static_cast<std::size_t>(run - 1) * count + i) * 5);
            r.depth_z = 800.0f + static_cast<float>(run) * 10 + static_cast<float>(i) * 0.01f;
            r.depth_cur = r.depth_z - 0.2f;
            for (std::size_t k = 0; k < r.q.size(); ++k)
                r.q[k] = static_cast<std::uint16_t>((i * 7 + k * 13) % 4000);
        }
        std::vector<testkit::ZregMember> members = {
            member("inpgti.ini", testkit::inpgti_ini("14", "Северная", lib::enc_1251)),
            member("inpgti.nbl", testkit::classic_param_list(testkit::synthetic_params(testkit::zreg::parameter_count))),
            member("well.tim", testkit::compact_classic(offsets, scales, records), 1),
        };
        testkit::write_file((dir / ("Северная_14_рейс" + std::to_string(run) + ".zreg")).string(),
                            testkit::zreg_package(10, members));
    }
}

void write_compressed_well(const std::filesystem::path& dir, std::size_t count)
{
    for (int run = 1; run <= runs_per_well; ++run) {
        testkit::CompressedSet set = testkit::synthetic_compressed_set(count, params, static_cast<std::uint32_t>(run));
        for (std::uint32_t& time : set.times)
            time += static_cast<std::uint32_t>(run) * 100000u;
        std::vector<testkit::ZregMember> members = {
            member("inpgti.ini", testkit::inpgti_ini_pore("7", "Южная", lib::enc_1251)),
            member("well.realtim.newcompr1", testkit::single_stream(set)),
        };
        testkit::write_file((dir / ("Южная_7_рейс" + std::to_string(run) + ".zreg")).string(),
                            testkit::zreg_package(1, members));
    }
}

// The archive kinds: a .rar of planar classic files for well 14, and for well 7 a .7z_reg of
// ".compr1" streams and compressed real-time packages of both form versions.
void write_archive_packages(const std::filesystem::path& dir, std::size_t count)
{
    const auto names = testkit::synthetic_params(testkit::zreg::parameter_count);
    std::vector<testkit::ClassicRecord> records;
    for (std::size_t i = 0; i < count; ++i) {
        testkit::ClassicRecord r;
        r.operation = 2;
        r.time = 1600000000u + static_cast<std::uint32_t>((3 * count + i) * 5);
        r.depth_z = 900.0f + static_cast<float>(i) * 0.01f;
        r.depth_cur = r.depth_z - 0.2f;
        for (std::size_t k = 0; k < r.values.size(); ++k)
            r.values[k] = static_cast<float>((i * 7 + k * 13) % 4000) / 10;
        records.push_back(r);
    }
    // The planar form: byte j of record i at j x N + i.
    const testkit::Bytes rows = testkit::classic_file(records);
    testkit::Bytes planar(rows.size());
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t j = 0; j < 145; ++j)
            planar[j * count + i] = rows[i * 145 + j];
    testkit::write_archive((dir / "Северная_14_рейс4.rar").string(), testkit::ArchiveFormat::zip,
                           {{"inpgti.ini", testkit::inpgti_ini("14", "Северная", lib::enc_1251)},
                            {"inpgti.nbl", testkit::classic_param_list(names)},
                            {"well.tim", planar}});

    const auto shifted = [count](std::uint32_t seed, std::uint32_t run) {
        testkit::CompressedSet set = testkit::synthetic_compressed_set(count, params, seed);
        for (std::uint32_t& time : set.times)
            time += run * 100000u;
        return set;
    };
    const testkit::ArchiveEntry identity{"inpgti.ini", testkit::inpgti_ini_pore("7", "Южная", lib::enc_1251)};
    testkit::write_archive((dir / "Южная_7_рейс4.7z_reg").string(), testkit::ArchiveFormat::sevenzip_lzma2,
                           {identity, {"well.realtim.compr1", testkit::single_stream(shifted(4, 4))}});
    for (const int version : {0, 2}) {
        const std::uint32_t run = version == 0 ? 5 : 6;
        std::vector<testkit::ArchiveEntry> entries = {identity};
        for (const auto& m : testkit::compressed_set_members(shifted(run, run), version))
            entries.push_back({"depth.realdep" + m.suffix, m.bytes});
        const std::string name = "Южная_7_рейс" + std::to_string(run) + (version == 0 ? ".compr_rt" : ".compr2_rt");
        testkit::write_archive((dir / name).string(), testkit::ArchiveFormat::sevenzip_lzma2, entries);
    }
}

} // namespace

constexpr const char* usage = "usage: dravinex-samples DIR [--scale N]\n"
                             "Writes a sample set of packages of all five kinds into DIR (made when missing);\n"
                             "--scale N makes every data file N times as long.\n";

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
    }
    // An option in the place of DIR is a mistake, not the name of a folder to fill.
    if ((argc != 2 && !(argc == 4 && std::string(argv[2]) == "--scale")) || argv[1][0] == '-') {
        std::fputs(usage, stderr);
        return 2;
    }
    const long scale = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 1;
    if (scale < 1 || scale > 1000) {
        std::fprintf(stderr, "dravinex-samples: --scale takes a number from 1 to 1000\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    // A folder that cannot be made or written is the user's to fix: say which and why.
    try {
        std::filesystem::create_directories(dir);
        const std::size_t count = records_per_run * static_cast<std::size_t>(scale);
        write_realtime_well(dir, count);
        write_classic_well(dir, count);
        write_compressed_well(dir, count);
        write_archive_packages(dir, count);
    }
    catch (const std::exception& error) {
        std::fprintf(stderr, "dravinex-samples: %s\n", error.what());
        return 1;
    }
    std::printf("%d packages written to %s\n", 3 * runs_per_well + 4, dir.c_str());
    return 0;
}
