#include "extract/Regrarclass.h"

#include "lib/Fileworks.h"
#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"
#include "lib/io/File_replacement.h"
#include "storage/Realtimedatareader.h"

#include <cstring>
#include <mutex>

namespace {

constexpr std::size_t classic_record = 145;
constexpr std::size_t compact_record = 81;
constexpr std::size_t compact_header = 68; // 32 divisors of 16 bits and the record count
constexpr std::size_t compact_count_offset = 64;
constexpr std::size_t parameters = 32;
constexpr std::size_t copied_head = 12;   // time and two depths, after the operation byte
constexpr std::size_t copied_tail = 4;

std::mutex archiver_mutex;
std::string configured_archiver;

std::string trimmed_output(std::string output)
{
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r' || output.back() == ' '))
        output.pop_back();
    const auto last_line = output.rfind('\n');
    return last_line == std::string::npos ? output : output.substr(last_line + 1);
}

// Byte j of record i lies at j x N + i: gather the records back.
std::string join_columns(const char* columns, std::size_t records, std::size_t record_size)
{
    std::string rows(records * record_size, '\0');
    for (std::size_t j = 0; j < record_size; ++j)
        for (std::size_t i = 0; i < records; ++i)
            rows[i * record_size + j] = columns[j * records + i];
    return rows;
}

} // namespace

std::string archiver_path()
{
    std::lock_guard lock(archiver_mutex);
    return configured_archiver.empty() ? lib::program_folder() + "7za" : configured_archiver;
}

void set_archiver_path(std::string path)
{
    std::lock_guard lock(archiver_mutex);
    configured_archiver = std::move(path);
}

void run_archiver(const std::string& package, const std::string& folder)
{
    const std::string archiver = archiver_path();
    const std::string output_folder = folder.size() > 2 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    const lib::RunResult run = lib::run_and_wait(archiver, {"e", package, "-o" + output_folder, "-r"}, lib::program_folder(), false);
    if (!run)
        throw FileStorageException("Файл 7za.exe не найден", true);
    if (run.exit_code != 0)
        throw FileStorageException("Архиватор не смог распаковать пакет (код " + std::to_string(run.exit_code) + "): " +
                                       trimmed_output(run.output),
                                   true);
}

RegRARDecompr::RegRARDecompr(std::string package) : package_(std::move(package)) {}

void RegRARDecompr::extract(const std::string& folder)
{
    run_archiver(package_, folder);
    for (const char* mask : {"*.tim", "*.dep", "*.ldp"}) {
        lib::FileFinder finder;
        finder.find(folder + mask, lib::attr_set_ordinary, false);
        for (const lib::FindedFile& hit : finder.files)
            convert_classic_file(hit.path());
    }
}

void RegRARDecompr::convert_classic_file(const std::string& path)
{
    const std::int64_t size = lib::file_size(path);
    if (size <= 0)
        return;
    const auto bytes = static_cast<std::uint64_t>(size);
    if (bytes % classic_record != 0) {
        expand_compact(path);
        return;
    }
    if (bytes % compact_record != 0) {
        restore_planar(path);
        return;
    }
    // A multiple of both sizes: the compact header's count decides.
    std::int32_t count = 0;
    if (bytes >= compact_header) {
        lib::io::OSFile file;
        file.open(path, lib::io::open_read, false);
        char head[compact_header];
        if (file.read(head, sizeof head) == sizeof head)
            std::memcpy(&count, head + compact_count_offset, sizeof count);
    }
    if (bytes >= compact_header && static_cast<std::uint64_t>(count) == (bytes - compact_header) / compact_record)
        expand_compact(path);
    else
        restore_planar(path);
}

void RegRARDecompr::restore_planar(const std::string& path)
{
    const std::string columns = lib::io::read_whole_file(path);
    const std::size_t records = columns.size() / classic_record;
    std::string rows = join_columns(columns.data(), records, classic_record);
    rows.append(columns, records * classic_record, std::string::npos); // a tail that is no record stays
    lib::io::replace_file_contents(path, rows, lib::io::Durability::scratch);
}

void RegRARDecompr::expand_compact(const std::string& path)
{
    const std::string file = lib::io::read_whole_file(path);
    const std::uint64_t size = file.size();
    if (size <= compact_header)
        return;
    std::int32_t count = 0;
    std::memcpy(&count, file.data() + compact_count_offset, sizeof count);
    if (count <= 0 || (size - compact_header) / compact_record != static_cast<std::uint64_t>(count))
        return; // a header that does not fit its size: left as unpacked
    std::int16_t divisors[parameters];
    std::memcpy(divisors, file.data(), sizeof divisors);
    const auto records = static_cast<std::size_t>(count);
    const std::string compact = join_columns(file.data() + compact_header, records, compact_record);

    std::string classic(records * classic_record, '\0');
    for (std::size_t i = 0; i < records; ++i) {
        const char* in = compact.data() + i * compact_record;
        char* out = classic.data() + i * classic_record;
        out[0] = in[0];
        std::memcpy(out + 1, in + 1, copied_head);
        for (std::size_t k = 0; k < parameters; ++k) {
            std::uint16_t q;
            std::memcpy(&q, in + 1 + copied_head + 2 * k, sizeof q);
            const float value = divisors[k] == 0 ? 0.0f : static_cast<float>(static_cast<double>(q) / divisors[k]);
            std::memcpy(out + 1 + copied_head + 4 * k, &value, sizeof value);
        }
        std::memcpy(out + classic_record - copied_tail, in + compact_record - copied_tail, copied_tail);
    }
    lib::io::replace_file_contents(path, classic, lib::io::Durability::scratch);
}
