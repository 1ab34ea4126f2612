// The store check walks the tree as the window shows it (areas, wells, the well's files)
// and reports, besides the damaged data files, whatever lies where the tree does not look.

#include "catalogue/Store_check.h"

#include "lib/Fileworks.h"
#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"
#include "lib/io/File_replacement.h"
#include "platform/File.h"
#include "storage/Data_file_kinds.h"
#include "storage/Merge_index.h"
#include "storage/Realtime_merge.h"
#include "storage/Realtimedatareader.h"

#include <algorithm>

namespace catalogue {

namespace {

std::string reason_of(const std::exception& error)
{
    if (const auto* file_error = dynamic_cast<const lib::io::FileError*>(&error))
        return file_error->describe();
    return error.what();
}

std::vector<platform::NamedEntry> sorted_names(const std::string& folder)
{
    std::vector<platform::NamedEntry> entries = platform::list_names(folder);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return entries;
}

bool is_tree_folder(const platform::NamedEntry& entry)
{
    return entry.folder && !entry.link && entry.name.front() != '.';
}

bool is_realtime(const std::string& path)
{
    const data_file_kinds::DataFileKind* kind = data_file_kinds::of_name(path);
    return kind && data_file_kinds::holds_records(kind->kind) && !data_file_kinds::is_classic(kind->kind);
}

std::string joined(const std::vector<std::string>& warnings)
{
    std::string text;
    for (const std::string& warning : warnings)
        text += (text.empty() ? "" : ", ") + warning;
    return text;
}

class StoreChecker {
public:
    StoreChecker(bool repair, StoreReport& report, const std::atomic<bool>* stop)
        : repair_(repair), report_(report), stop_(stop)
    {
    }

    void check_root(const std::string& root);
    void check_index(const std::string& root, const std::string& index_path);

private:
    void check_area(const std::string& folder);
    void check_well(const std::string& folder);
    void check_data_file(const std::string& path);
    void check_realtime_tail(const std::string& path, FileStorage& model);
    void add(StoreFinding::Kind kind, const std::string& path, std::string detail = {}, bool repaired = false)
    {
        report_.findings.push_back({kind, path, std::move(detail), repaired});
    }

    bool stopping()
    {
        report_.stopped = report_.stopped || (stop_ != nullptr && *stop_);
        return report_.stopped;
    }

    bool repair_;
    StoreReport& report_;
    const std::atomic<bool>* stop_;
};

void StoreChecker::check_root(const std::string& root)
{
    for (const platform::NamedEntry& entry : sorted_names(root)) {
        if (is_tree_folder(entry))
            check_area(root + entry.name + "/");
        else
            add(StoreFinding::unseen, root + entry.name);
    }
}

void StoreChecker::check_area(const std::string& folder)
{
    for (const platform::NamedEntry& entry : sorted_names(folder)) {
        if (stopping())
            return;
        if (is_tree_folder(entry))
            check_well(folder + entry.name + "/");
        else
            add(StoreFinding::unseen, folder + entry.name);
    }
}

void StoreChecker::check_well(const std::string& folder)
{
    const std::vector<platform::NamedEntry> entries = sorted_names(folder);
    const bool has_leftovers = std::any_of(entries.begin(), entries.end(), [](const platform::NamedEntry& entry) {
        return lib::io::is_replacement_leftover(entry.name);
    });
    // One that a writer still holds locked is being written now, and stays.
    if (repair_ && has_leftovers)
        lib::io::remove_replacement_leftovers(folder);
    for (const platform::NamedEntry& entry : entries) {
        if (stopping())
            return;
        const std::string path = folder + entry.name;
        if (entry.folder) {
            add(StoreFinding::unseen, path);
        }
        else if (lib::io::is_replacement_leftover(entry.name)) {
            add(StoreFinding::leftover, path, {}, repair_ && !lib::file_exists(path));
        }
        else if (is_data_file_extension(lib::extension_of(entry.name))) {
            check_data_file(path);
        }
    }
}

void StoreChecker::check_data_file(const std::string& path)
{
    ++report_.data_files;
    FileStorage model;
    try {
        if (is_realtime(path)) {
            check_realtime_tail(path, model);
        }
        else {
            model.load(path);
            if (!model.warnings.empty())
                add(StoreFinding::reader_warnings, path, joined(model.warnings));
        }
    }
    catch (const std::exception& error) {
        add(StoreFinding::unreadable, path, reason_of(error));
    }
}

// A cut last sector shows as the reader's "corrupt" warning too: it is reported once, as
// the cut tail it is.
void StoreChecker::check_realtime_tail(const std::string& path, FileStorage& model)
{
    const std::string bytes = lib::io::read_whole_file(path);
    const std::size_t whole = load_realtime_bytes(model, bytes.data(), bytes.size());
    std::vector<std::string> warnings = model.warnings;
    if (whole < bytes.size()) {
        const auto corrupt = std::find(warnings.begin(), warnings.end(), storage_text::msg_data_corrupt);
        if (corrupt != warnings.end())
            warnings.erase(corrupt);
        bool cut = false;
        if (repair_)
            cut = storage::cut_realtime_tail(path);
        add(StoreFinding::cut_tail, path, std::to_string(bytes.size() - whole), cut);
    }
    if (!warnings.empty())
        add(StoreFinding::reader_warnings, path, joined(warnings));
}

// Only entries of this store's files are judged; the index also serves the home's other stores.
void StoreChecker::check_index(const std::string& root, const std::string& index_path)
{
    if (index_path.empty())
        return;
    storage::MergeIndex index(index_path);
    std::vector<std::pair<StoreFinding::Kind, std::string>> wrong;
    for (const auto& [path, summary] : index.entries()) {
        if (!path.starts_with(root))
            continue;
        const std::optional<storage::FileStamp> now = storage::stamp_of(path);
        if (!now)
            wrong.emplace_back(StoreFinding::stale_index, path);
        else if (now->device != summary.stamp.device || now->inode != summary.stamp.inode)
            wrong.emplace_back(StoreFinding::foreign_index, path);
        else if (!(*now == summary.stamp))
            wrong.emplace_back(StoreFinding::stale_index, path);
    }
    // A repair forgets the entries that no longer match: the next merge reads those files
    // whole, as it would anyway, and the store checks clean.
    bool repaired = false;
    if (repair_ && !wrong.empty()) {
        for (const auto& [kind, path] : wrong)
            index.erase(path);
        try {
            index.save();
            repaired = true;
        }
        catch (const std::exception&) {
        }
    }
    for (const auto& [kind, path] : wrong)
        add(kind, path, {}, repaired);
}

} // namespace

StoreReport check_store(const std::string& data_root, const std::string& index_path, bool repair,
                        const std::atomic<bool>* stop)
{
    std::string root = data_root;
    if (root.empty() || root.back() != '/')
        root += '/';
    StoreReport report;
    StoreChecker checker(repair, report, stop);
    checker.check_root(root);
    if (!report.stopped)
        checker.check_index(root, index_path);
    return report;
}

std::string describe_finding(const StoreFinding& finding)
{
    std::string line;
    switch (finding.kind) {
    case StoreFinding::reader_warnings:
        line = "повреждения, обойдённые при чтении (" + finding.detail + "): " + finding.path;
        break;
    case StoreFinding::unreadable:
        line = "не читается: " + finding.path + " (" + finding.detail + ")";
        break;
    case StoreFinding::cut_tail:
        line = "обрезанный последний сектор, байт: " + finding.detail + ": " + finding.path;
        break;
    case StoreFinding::stale_index:
        line = "устаревшая запись индекса слияния (файл изменён или удалён; следующее слияние прочтёт его "
               "целиком): " + finding.path;
        break;
    case StoreFinding::foreign_index:
        line = "запись индекса слияния относится к другому файлу с тем же именем (следующее слияние прочтёт "
               "файл целиком): " + finding.path;
        break;
    case StoreFinding::leftover:
        line = "временный файл прерванной записи: " + finding.path;
        break;
    case StoreFinding::unseen:
        line = "не показывается в дереве данных: " + finding.path;
        break;
    }
    if (finding.repaired)
        line += finding.kind == StoreFinding::leftover ? " — удалён" : " — исправлено";
    return line;
}

bool repairable(const StoreFinding& finding)
{
    switch (finding.kind) {
    case StoreFinding::cut_tail:
    case StoreFinding::stale_index:
    case StoreFinding::foreign_index:
    case StoreFinding::leftover:
        return !finding.repaired;
    case StoreFinding::reader_warnings:
    case StoreFinding::unreadable:
    case StoreFinding::unseen:
        return false;
    }
    return false;
}

} // namespace catalogue
