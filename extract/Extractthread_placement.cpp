// Placement: the unpacked files go into the store's area and well folders; data files that
// the well already has receive only the newer records.

#include "extract/Extractthread.h"

#include "lib/Inistorage.h"
#include "lib/Strworks.h"
#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"
#include "lib/io/File_placement.h"
#include "lib/io/File_replacement.h"
#include "lib/io/Locked_file.h"
#include "storage/Classic_layout.h"
#include "storage/Classic_record.h"
#include "storage/Data_file_kinds.h"
#include "storage/Realtime_merge.h"
#include "storage/Realtimedatareader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// The mask of the files of a kind in a folder.
std::string mask_of(const data_file_kinds::DataFileKind& kind)
{
    return "*" + std::string(kind.extension);
}

constexpr std::string_view identity_file = "inpgti.ini";

std::string identity_value(const lib::MemIni& ini, std::string_view section, std::string_view key)
{
    return lib::unquote(lib::trim(ini.read_string(section, key, "")), '"');
}

// Thrown when a well's file or an arriving file cannot be merged; carries the reason.
struct MergeFailure {
    std::string text;
};

} // namespace

void Placement::note_problem(const std::string& file, const std::exception& error)
{
    problems_.push_back(file + ": " + lib::io::describe_error(error));
}

void Placement::read_identity()
{
    std::unique_ptr<lib::MemIni> ini;
    try {
        ini = lib::open_ini_for_reading(run_.temp_dir_slash_ + std::string(identity_file));
    }
    catch (const std::exception&) {
        ini = std::make_unique<lib::MemIni>(); // unreadable: the data go to "undefined"
    }
    std::string well = identity_value(*ini, "скважина", "номер");
    if (well.empty())
        well = identity_value(*ini, "pore", "hole");
    std::string area = identity_value(*ini, "скважина", "площадь");
    if (area.empty())
        area = identity_value(*ini, "pore", "field");
    // Names from the package never lead out of the store.
    well = lib::folder_name_of(well);
    area = lib::folder_name_of(area);
    run_.well_ = well.empty() ? extract_text::undefined_name : well;
    run_.area_ = area.empty() ? extract_text::undefined_name : area;
}

// A folder made here joins the package's flush, so that its name lasts as its files do; one
// that cannot be made (and is not there) fails the package.
void Placement::make_folder(const std::string& folder)
{
    const int error = platform::make_folder(folder);
    if (error == 0)
        files_.add_new_folder(folder);
    else if (error != EEXIST || platform::path_kind(folder) != platform::PathKind::folder)
        throw lib::io::FileError(lib::io::text::cannot_write, folder, error == EEXIST ? ENOTDIR : error);
}

void Placement::make_destination()
{
    if (run_.single()) {
        run_.dest_dir_ = run_.options_.data_root;
    }
    else {
        run_.area_dir_ = run_.options_.data_root + run_.area_;
        make_folder(run_.area_dir_);
        run_.well_dir_ = run_.area_dir_ + "/" + run_.well_;
        make_folder(run_.well_dir_);
        run_.dest_dir_ = run_.well_dir_ + "/";
    }
    // A run killed in the middle of a write left its temporary file here; one whose writer
    // lives, on this machine or another, holds it locked and stays.
    lib::io::remove_replacement_leftovers(run_.dest_dir_);
}

void Placement::place_unpacked()
{
    // A package that brought no file (an archive without entries) makes no area or well.
    if (platform::list_directory(run_.temp_dir_slash_).empty())
        return;
    read_identity();
    try {
        make_destination();
    }
    catch (const std::exception& error) {
        note_problem(run_.options_.data_root, error); // the error names the folder itself
        return;
    }
    // Every merged kind before the first copied one, each in the table's order.
    for (const data_file_kinds::DataFileKind& kind : data_file_kinds::all) {
        if (kind.placing == data_file_kinds::Placing::merged)
            merge_data_files(mask_of(kind));
    }
    for (const data_file_kinds::DataFileKind& kind : data_file_kinds::all) {
        if (kind.placing == data_file_kinds::Placing::copied)
            copy_by_mask(run_.temp_dir_slash_, run_.dest_dir_, mask_of(kind));
    }
    place_staged_files();
    journal_depth_only();
}

// The package's new data files and copies reach the disk in one flush and then take their
// names; a new data file that another run placed meanwhile receives a merge instead.
void Placement::place_staged_files()
{
    for (const lib::io::FilePlacement::Outcome& outcome : files_.commit()) {
        try {
            if (outcome.error)
                std::rethrow_exception(outcome.error);
            if (outcome.existed)
                merge_into(outcome.from, outcome.to);
            else if (new_data_files_.count(outcome.to) != 0)
                journal_data_file(outcome.from, true);
        }
        catch (const MergeFailure& failure) {
            note_merge_failure(outcome.to, failure.text);
        }
        catch (const std::exception& error) {
            note_problem(outcome.to, error);
        }
    }
    new_data_files_.clear();
    // The merges into files that other runs placed meanwhile have their flush still to come.
    for (const lib::io::FilePlacement::Outcome& outcome : files_.commit()) {
        if (!outcome.error)
            continue;
        try {
            std::rethrow_exception(outcome.error);
        }
        catch (const std::exception& error) {
            note_problem(outcome.to, error);
        }
    }
}

void Placement::merge_data_files(const std::string& mask)
{
    lib::FileFinder finder;
    finder.find(run_.temp_dir_slash_ + mask, lib::attr_set_ordinary, false);
    for (const lib::FindedFile& hit : finder.files)
        merge_data_file(run_.temp_dir_slash_ + hit.name);
}

// A data file the well does not have yet is staged with the package's other new files and
// placed whole, but never over a file that another run (another machine's, on a shared
// store) placed meanwhile; the others receive the newer records now.
void Placement::merge_data_file(const std::string& source)
{
    const std::string target = run_.dest_dir_ + lib::name_of(source);
    try {
        if (!lib::file_exists(target)) {
            files_.add(source, target, lib::io::FilePlacement::Existing::keep);
            new_data_files_.insert(target);
            return;
        }
        merge_into(source, target);
    }
    catch (const MergeFailure& failure) {
        note_merge_failure(target, failure.text);
    }
    catch (const std::exception& error) {
        note_problem(target, error);
    }
}

// The journal names the time files that grew. A package that brought only depth data
// names its depth files the same way: "nothing new" would be plainly wrong for it.
void Placement::journal_data_file(const std::string& source, bool changed)
{
    if (!changed)
        return;
    run_.note_new_data();
    const std::string name = lib::name_of(source);
    const data_file_kinds::DataFileKind* kind = data_file_kinds::of_name(name);
    if (kind && (kind->kind == data_file_kinds::Kind::time || kind->kind == data_file_kinds::Kind::classic_time)) {
        run_.journal_.push_back(journal_line(name));
        time_file_journaled_ = true;
    }
    else {
        other_data_files_.push_back(name);
    }
}

std::string Placement::journal_line(const std::string& name) const
{
    return "    скважина \"" + run_.well_ + "\", файл \"" + name + "\"";
}

void Placement::journal_depth_only()
{
    if (time_file_journaled_)
        return;
    for (const std::string& name : other_data_files_)
        run_.journal_.push_back(journal_line(name));
}

void Placement::note_merge_failure(const std::string& target, const std::string& text)
{
    run_.journal_.push_back(extract_text::merge_failed_head + target + extract_text::merge_failed_tail);
    problems_.push_back(text);
}

// Only records at least two time units newer than the well's last one are added, and only
// remarks the well's file does not hold yet. The well's file keeps its variant and
// encoding, whatever the arriving file's are, and receives the new records at its end,
// under its lock from the read of its end to the flush; the merge counts (in the journal,
// the index) only once that flush has succeeded.
void Placement::merge_into(const std::string& source, const std::string& target)
{
    const data_file_kinds::DataFileKind* kind = data_file_kinds::of_name(target);
    if (kind && data_file_kinds::is_classic(kind->kind))
        merge_classic(source, target);
    else
        merge_realtime(source, target);
}

void Placement::merge_realtime(const std::string& source, const std::string& target)
{
    storage::MergeIndex* index = run_.merge_index();
    storage::PendingAppend pending;
    try {
        pending = storage::append_realtime(target, source, index);
    }
    catch (const storage::MergeLoadError& error) {
        throw MergeFailure{error.what()};
    }
    if (!pending.file) {
        if (index && pending.unchanged)
            index->put(target, std::move(*pending.unchanged));
        return;
    }
    files_.add_appended(std::move(pending.file), [this, index, source, target, grown = std::move(pending.grown)] {
        if (index && grown)
            index->put(target, *grown);
        journal_data_file(source, true);
    });
}

// A classic file is a row of 145-byte records: the new ones go at the end of its last whole
// record (a record a killed run left cut is cut off), under the same lock as real-time files.
void Placement::merge_classic(const std::string& source, const std::string& target)
{
    std::unique_ptr<lib::io::LockedFile> file;
    std::size_t whole = 0;
    FileStorage model;
    try {
        file = std::make_unique<lib::io::LockedFile>(target, !locking_disabled_for(target));
        const lib::io::LockedFile::Bytes bytes = file->read_all();
        whole = bytes.size - bytes.size % classic_layout::record_size;
        model.keep_records(false); // only their largest time matters here
        read_classic_records(model, bytes.data.get(), whole);
        model.keep_records(true);
    }
    catch (const std::exception& error) {
        throw MergeFailure{target + ": " + lib::io::describe_error(error)};
    }
    const std::uint32_t largest = model.largest_time();
    if (largest >= FileStorage::no_time_limit - 1)
        return; // largest + 2 would wrap: nothing can be newer
    model.set_time_filter(largest + 2, FileStorage::no_time_limit);
    // The arriving file's records only: its parameter list may have gone into the store
    // already, and the well's file keeps its own.
    try {
        const std::string arriving = lib::io::read_whole_file(source);
        read_classic_records(model, arriving.data(), arriving.size() - arriving.size() % classic_layout::record_size);
    }
    catch (const std::exception& error) {
        throw MergeFailure{source + ": " + lib::io::describe_error(error)};
    }
    if (model.records.empty())
        return;
    std::string tail;
    tail.reserve(model.records.size() * classic_layout::record_size);
    for (const auto& record : model.records)
        storage::append_classic_record(tail, *record);
    file->append_at(whole, tail.data(), tail.size());
    files_.add_appended(std::move(file), [this, source] { journal_data_file(source, true); });
}

// Every name that matches, hidden ones included; a folder of such a name cannot be copied
// as a file and is passed over.
void Placement::copy_by_mask(const std::string& source_folder, const std::string& destination_folder,
                             const std::string& mask)
{
    std::vector<platform::DirEntry> entries = platform::list_directory(source_folder);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    for (const platform::DirEntry& entry : entries) {
        if (!lib::mask_matches(mask, entry.name) || (entry.attributes & platform::attr_directory))
            continue;
        try {
            files_.add(source_folder + entry.name, destination_folder + entry.name,
                       lib::io::FilePlacement::Existing::replace);
        }
        catch (const std::exception& error) {
            note_problem(destination_folder + entry.name, error);
        }
    }
}
