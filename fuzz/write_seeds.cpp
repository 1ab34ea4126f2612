// Writes the seed corpora of the fuzz targets (fuzz/corpus/TARGET/) with the test kit: small
// valid files of every form, so that fuzzing starts from inputs that reach deep into the
// readers. Run by hand when a form changes: write_seeds fuzz/corpus

#include "Fuzz_support.h"

#include "catalogue/Filedata.h"
#include "testkit/Bytes.h"
#include "testkit/Classic_writer.h"
#include "testkit/Compressed_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"
#include "testkit/Zreg_writer.h"

#include <filesystem>
#include <iostream>

namespace {

std::string text(const testkit::Bytes& bytes) { return std::string(testkit::as_chars(bytes)); }

void seed(const std::string& root, const std::string& target, const std::string& name, const std::string& bytes)
{
    std::filesystem::create_directories(root + "/" + target);
    fuzz::write_file(root + "/" + target + "/" + name, bytes);
}

void realtime_seeds(const std::string& root)
{
    const auto params = testkit::synthetic_params(4);
    const auto records = testkit::synthetic_records(6, 4, 7);
    for (const int version : {0, 2})
        seed(root, "realtime_fuzz", "version" + std::to_string(version),
             text(testkit::realtime_file(params, records, {"Куст=5", "Скважина=\"12\""}, version)));
}

void classic_seeds(const std::string& root)
{
    const auto params = testkit::synthetic_params(34);
    std::vector<testkit::ClassicRecord> records;
    for (const auto& item : testkit::synthetic_records(4, 32, 5))
        records.push_back(testkit::classic_record_from(item));
    seed(root, "classic_fuzz", "four_records",
         fuzz::join_parts({text(testkit::classic_param_list(params)), text(testkit::classic_file(records))}));
}

void compressed_seeds(const std::string& root)
{
    const testkit::CompressedSet set = testkit::synthetic_compressed_set(6, 3, 11);
    seed(root, "single_stream_fuzz", "six_records", text(testkit::single_stream(set)));
    for (const int version : {0, 2}) {
        std::vector<std::string> parts;
        for (const auto& member : testkit::compressed_set_members(set, version))
            parts.push_back(text(member.bytes));
        seed(root, "column_set_fuzz", "version" + std::to_string(version),
             std::string(1, static_cast<char>(version)) + fuzz::join_parts(parts));
    }
}

void zreg_seeds(const std::string& root)
{
    testkit::ZregMember identity;
    identity.name = "inpgti.ini";
    identity.content = testkit::inpgti_ini("12", "Север", lib::enc_1251);
    testkit::ZregMember stream;
    stream.name = "a.realtim.newcompr1";
    stream.content = testkit::single_stream(testkit::synthetic_compressed_set(5, 2, 3));
    testkit::ZregMember compact;
    compact.kind = 1;
    compact.name = "b.tim";
    std::array<float, testkit::zreg::parameter_count> offsets{};
    std::array<float, testkit::zreg::parameter_count> scales{};
    scales.fill(1);
    testkit::CompactRecord record;
    record.time = 100;
    compact.content = testkit::compact_classic(offsets, scales, {record, record});
    seed(root, "zreg_fuzz", "three_members", text(testkit::zreg_package(10, {identity, stream, compact})));
}

void text_seeds(const std::string& root)
{
    seed(root, "ini_fuzz", "identity_1251", std::string(1, '\0') + text(testkit::inpgti_ini("12", "Север", lib::enc_1251)));
    seed(root, "ini_fuzz", "identity_utf8", "\x01" + text(testkit::inpgti_ini("12", "Север", lib::enc_utf8)));
    seed(root, "ini_fuzz", "identity_pore_utf8", "\x01" + text(testkit::inpgti_ini_pore("7", "Юг", lib::enc_utf8)));
    seed(root, "profile_fuzz", "settings",
         "; settings\r\n[options]\r\nfrom_path=/home/user/gti/\r\nto_path = \"/home/user/gtidata/\"\r\n"
         "[MyContainer1]\r\nWidth=240\r\n");

    FilesDataStorage cache;
    cache.store("/home/user/gti/a.zreg", 1234);
    cache.store("/home/user/gti/Куст 5/b.rar", 56);
    const std::string path = fuzz::scratch() + "TemporaryFileData.bin";
    cache.save(path);
    std::ifstream in(path, std::ios::binary);
    seed(root, "cache_fuzz", "two_packages", std::string(std::istreambuf_iterator<char>(in), {}));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: write_seeds FOLDER\n";
        return 2;
    }
    const std::string root = argv[1];
    realtime_seeds(root);
    classic_seeds(root);
    compressed_seeds(root);
    zreg_seeds(root);
    text_seeds(root);
    return 0;
}
