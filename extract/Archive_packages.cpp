// Packages that the archiver opens: `.rar` (classic files, see Regrarclass), `.7z_reg`
// (".compr1" single streams) and the compressed real-time packages (column-file sets).

#include "extract/Archive_packages.h"

#include "lib/Fileworks.h"
#include "extract/Regrarclass.h"
#include "lib/Strworks.h"
#include "lib/io/File_replacement.h"
#include "platform/File.h"
#include "storage/Realtimedatareader.h"

#include <algorithm>
#include <future>
#include <thread>


namespace {

std::string without_last_extension(const std::string& name)
{
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// The column files of real-time files: x.realtim.params and the like. A real-time file
// itself (x.realtim) is no column file, whatever the mask's trailing ".*" lets through.
bool is_column_file(const std::string& name)
{
    const std::string base = without_last_extension(name);
    return base != name && lib::mask_matches("*.real???", base);
}

} // namespace

void extract_rar_package(const std::string& package, const std::string& folder)
{
    RegRARDecompr(package).extract(folder);
}

void rebuild_compr1(const std::string& folder, const std::string& name)
{
    lib::io::InputMappedFile stream;
    stream.open(folder + name, false);
    rebuild_single_stream(stream, folder + without_last_extension(name), lib::io::Durability::scratch);
    stream.close();
}

void extract_7z_package(const std::string& package, const std::string& folder)
{
    run_archiver(package, folder);
    lib::FileFinder finder;
    finder.find(folder + "*.compr1", lib::attr_set_files, false);
    // The streams are independent: rebuild as many at once as there are processors. The
    // first failure in the order found is the one reported.
    const std::size_t at_once = std::max(1u, std::thread::hardware_concurrency());
    for (std::size_t first = 0; first < finder.files.size(); first += at_once) {
        std::vector<std::future<void>> batch;
        for (std::size_t i = first; i < std::min(finder.files.size(), first + at_once); ++i)
            batch.push_back(std::async(std::launch::async, rebuild_compr1, folder, finder.files[i].name));
        for (std::future<void>& done : batch)
            done.wait();
        for (std::future<void>& done : batch)
            done.get();
    }
}

void extract_compressed_rt(const std::string& package, const std::string& folder, int form_version)
{
    run_archiver(package, folder);
    lib::FileFinder finder;
    finder.find(folder + "*.real???.*", lib::attr_set_files, false);
    std::vector<std::string> bases;
    std::vector<std::string> column_files;
    for (const lib::FindedFile& hit : finder.files) {
        if (!is_column_file(hit.name))
            continue;
        column_files.push_back(hit.path());
        bases.push_back(without_last_extension(hit.name));
    }
    std::sort(bases.begin(), bases.end(), [](const auto& a, const auto& b) { return lib::compare_utf16(a, b) < 0; });
    bases.erase(std::unique(bases.begin(), bases.end()), bases.end());
    for (const std::string& base : bases) {
        FileStorage model;
        model.clear();
        model.load_compressed(folder + base, form_version);
        model.save_realtime(folder + base, lib::io::Durability::scratch);
    }
    for (const std::string& path : column_files)
        platform::remove_file(path);
}
