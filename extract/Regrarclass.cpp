#include "extract/Regrarclass.h"

#include "lib/Fileworks.h"
#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"
#include "lib/io/File_replacement.h"
#include "storage/Classic_record.h"
#include "storage/Data_file_kinds.h"
#include "storage/Realtimedatareader.h"

#include <mutex>
#include <optional>

namespace {

std::mutex archiver_mutex;
std::string configured_archiver;

std::string trimmed_output(std::string output)
{
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r' || output.back() == ' '))
        output.pop_back();
    const auto last_line = output.rfind('\n');
    return last_line == std::string::npos ? output : output.substr(last_line + 1);
}

// Our own sentence for what the archiver says (its text is English, ours or a 7-Zip put in
// its place); its own words follow in parentheses for whoever needs them.
std::string archiver_sentence(const std::string& said, int exit_code)
{
    const std::pair<const char*, const char*> known[] = {
        {"not an archive of a known kind", "это не архив известного вида (7z, zip, RAR 4 или RAR 5)"},
        {"encrypted package", "пакет зашифрован, его файлы распаковать нельзя"},
        {"of the set is missing", "не хватает одного из томов набора"},
        {"volume set", "это один том набора томов, который распаковать нельзя"},
        {"damaged package", "пакет повреждён"},
        {"cannot create", "распакованный файл не удалось записать"},
        {"cannot write", "распакованный файл не удалось записать"},
    };
    for (const auto& [marker, sentence] : known) {
        if (said.find(marker) != std::string::npos)
            return std::string(sentence) + " (" + said + ")";
    }
    return "Архиватор не смог распаковать пакет (код " + std::to_string(exit_code) + "): " + said;
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
    const std::string output_folder = lib::without_slash(folder);
    const lib::RunResult run = lib::run_and_wait(archiver, {"e", package, "-o" + output_folder, "-r"}, lib::program_folder(), false);
    if (!run)
        throw FileStorageException(archiver_text::missing, true);
    if (run.exit_code != 0)
        throw FileStorageException(archiver_sentence(trimmed_output(run.output), run.exit_code), true);
}

RegRARDecompr::RegRARDecompr(std::string package) : package_(std::move(package)) {}

void RegRARDecompr::extract(const std::string& folder)
{
    run_archiver(package_, folder);
    for (const data_file_kinds::DataFileKind& kind : data_file_kinds::all) {
        if (!data_file_kinds::is_classic(kind.kind) || kind.placing != data_file_kinds::Placing::merged)
            continue;
        lib::FileFinder finder;
        finder.find(folder + "*" + std::string(kind.extension), lib::attr_set_ordinary, false);
        for (const lib::FindedFile& hit : finder.files)
            convert_classic_file(hit.path());
    }
}

void RegRARDecompr::convert_classic_file(const std::string& path)
{
    if (lib::file_size(path) <= 0)
        return;
    const std::optional<std::string> records = storage::classic_from_rearranged(lib::io::read_whole_file(path));
    if (records) // a compact head that does not fit its size: left as unpacked
        lib::io::replace_file_contents(path, *records, lib::io::Durability::scratch);
}
