// The extraction run and the package dispatcher.

#include "extract/Extractthread.h"

#include "catalogue/Well_overview.h"
#include "extract/Package_kinds.h"
#include "lib/Mytime.h"
#include "lib/Strworks.h"
#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"
#include "lib/io/Field_record.h"
#include "lib/io/File_replacement.h"
#include "platform/Memory.h"
#include "storage/Realtimedatareader.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace {

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// Percentages in 64-bit arithmetic; a run of empty packages is done after each one.
int percent_of(std::uint64_t done, std::uint64_t total)
{
    if (total == 0)
        return 100;
    return static_cast<int>(std::min<std::uint64_t>(100, done * 100 / total));
}

// A journal line holds one line of text; a message of several lines is joined.
std::string one_line(std::string text)
{
    for (std::size_t at; (at = text.find('\n')) != std::string::npos;) {
        std::size_t end = at;
        while (end < text.size() && text[end] == '\n')
            ++end;
        text.replace(at, end - at, "; ");
    }
    return text;
}

// The .zreg reader's texts that name its own functions: a user reads our sentence first and
// the reader's text in parentheses after it.
std::string in_users_words(const std::string& detail)
{
    const std::pair<const char*, const char*> technical[] = {
        {"extract_next_file: wrong uncompr_len!", "пакет повреждён: размер файла в нём указан неверно"},
        {"extract_simple_file: uncompress=", "пакет повреждён: файл в нём не распаковывается"},
    };
    for (const auto& [text, sentence] : technical) {
        if (detail.starts_with(text))
            return std::string(sentence) + " (" + detail + ")";
    }
    return detail;
}

} // namespace

std::string single_package_destination(const std::string& package_path, const std::string& name)
{
    const std::string folder = name.empty() ? std::string(extract_text::default_destination_name) : name;
    return lib::folder_of(package_path) + folder + "/";
}

void FailureMemory::remember(const std::string& path, platform::FileStamp stamp, std::string reason)
{
    Failure& failure = failed_[path];
    changed_ = changed_ || !(failure.stamp == stamp) || failure.reason != reason;
    failure = {stamp, std::move(reason)};
}

void FailureMemory::forget(const std::string& path)
{
    changed_ = failed_.erase(path) != 0 || changed_;
}

bool is_destination_name(const std::string& name)
{
    return name.find('/') == std::string::npos && name != "." && name != "..";
}

bool FailureMemory::failed_with(const std::string& path, const platform::FileStamp& stamp) const
{
    const auto failure = failed_.find(path);
    return failure != failed_.end() && failure->second.stamp == stamp;
}

void FailureMemory::load(const std::string& path)
{
    std::map<std::string, Failure> loaded;
    try {
        const std::string bytes = lib::io::read_whole_file(path);
        lib::io::FieldReader in(bytes);
        for (std::size_t n = in.count(3 * sizeof(std::uint32_t) + sizeof(std::uint64_t) + sizeof(std::int64_t)); n > 0; --n) {
            std::string package = in.text();
            Failure failure;
            failure.stamp.size = in.get<std::uint64_t>();
            failure.stamp.changed_ns = in.get<std::int64_t>();
            failure.reason = in.text();
            loaded[std::move(package)] = std::move(failure);
        }
    }
    catch (const std::exception&) {
        return;
    }
    failed_ = std::move(loaded);
    changed_ = false;
}

void FailureMemory::save(const std::string& path)
{
    // A package deleted from the input folder will not fail again: its entry goes.
    for (auto failure = failed_.begin(); failure != failed_.end();) {
        if (platform::path_kind(failure->first) == platform::PathKind::missing) {
            failure = failed_.erase(failure);
            changed_ = true;
        }
        else {
            ++failure;
        }
    }
    if (!changed_)
        return;
    lib::io::FieldWriter out;
    out.put(static_cast<std::uint32_t>(failed_.size()));
    for (const auto& [package, failure] : failed_) {
        out.put(package);
        out.put(failure.stamp.size);
        out.put(failure.stamp.changed_ns);
        out.put(failure.reason);
    }
    try {
        lib::io::replace_file_contents(path, out.out);
        changed_ = false;
    }
    catch (const std::exception&) {
    }
}

bool FailureMemory::failed_unchanged(const std::string& path) const
{
    const std::optional<platform::FileStamp> stamp = platform::file_stamp(path);
    return stamp && failed_with(path, *stamp);
}

TExtractThread::TExtractThread(ExtractRunOptions options) : options_(std::move(options))
{
    // The front ends pass full paths already; a relative one would reach the archiver, which
    // runs in another folder, and the cache, which must know each package by one name.
    options_.temp_dir = lib::absolute_path(options_.temp_dir);
    if (!options_.state_folder.empty())
        options_.state_folder = lib::with_slash(lib::absolute_path(options_.state_folder));
    options_.package = lib::absolute_path(options_.package);
    options_.data_root = lib::absolute_path(options_.data_root);
    options_.from_path = lib::absolute_path(options_.from_path);
}

void TExtractThread::run_guarded()
{
    try {
        Execute();
    }
    catch (const std::exception& error) {
        ++failed_packages_;
        report_run_error(lib::io::describe_error(error));
    }
}

void TExtractThread::post_status(const std::string& text)
{
    if (options_.owner)
        options_.owner->post_status(text);
}

void TExtractThread::report_run_error(const std::string& message)
{
    journal_.push_back(message);
    if (options_.owner)
        options_.owner->report_error(extract_text::error_caption, message);
}

void TExtractThread::find_packages()
{
    if (!options_.package.empty()) {
        find_named_package();
        return;
    }
    // A missing input folder would read as a run that found nothing new.
    if (!lib::folder_exists(options_.from_path)) {
        journal_.push_back(extract_text::input_folder + lib::without_slash(options_.from_path) + extract_text::input_missing);
        return;
    }
    for (const PackageKindInfo& kind : package_kinds)
        finder_.find(options_.from_path + std::string(kind.mask), lib::attr_set_files, true);
}

// A named package that is not there, or not a file the run would take, fails the run: a
// quiet end would read like a package with nothing new in it.
void TExtractThread::find_named_package()
{
    const std::string& path = options_.package;
    switch (platform::path_kind(path)) {
    case platform::PathKind::missing:
        report_failure(path, extract_text::package_missing);
        return;
    case platform::PathKind::folder:
        report_failure(path, extract_text::package_is_folder);
        return;
    case platform::PathKind::regular:
    case platform::PathKind::other:
        break;
    }
    finder_.find(path, lib::attr_set_files, false);
    if (finder_.files.empty())
        report_failure(path, extract_text::package_hidden);
}

// A folder the run needs and could not make ends the run with an error: nothing could be
// placed, and a quiet end would read like a run that found nothing new.
bool TExtractThread::prepare_folder(const std::string& folder, bool with_parents, const char* what)
{
    std::error_code error;
    if (with_parents)
        std::filesystem::create_directories(folder, error);
    else
        std::filesystem::create_directory(folder, error);
    if (lib::folder_exists(folder))
        return true;
    ++failed_packages_;
    report_run_error(what + quoted(folder) + ": " + platform::error_text(error ? error.value() : ENOTDIR));
    return false;
}

void TExtractThread::Execute()
{
    // The header carries the run's date and time: the journal of a window or a watch that
    // runs for weeks must tell its runs apart.
    journal_.push_back(std::string(extract_text::journal_title) + " " + lib::format_time(lib::now_seconds(), false));
    if (options_.data_root.empty())
        return;
    // The store's root may be new, parents included: it is the folder the user chose.
    if (!prepare_folder(lib::without_slash(options_.data_root), true, extract_text::store_not_created))
        return;
    temp_dir_slash_ = options_.temp_dir + "/";
    if (!prepare_folder(options_.temp_dir, false, extract_text::temp_not_created))
        return;
    lib::delete_files(temp_dir_slash_);

    find_packages();
    finder_.sort_by_name();
    found_packages_ = static_cast<int>(finder_.files.size());
    const std::uint64_t total = finder_.total_size;
    std::uint64_t done = 0;
    for (const lib::FindedFile& package : finder_.files) {
        const std::string path = package.path();
        post_status(extract_text::processing + quoted(path));
        lib::empty_tree(temp_dir_slash_);
        extract_package(path);
        lib::empty_tree(temp_dir_slash_);
        // A merge holds whole well files in memory; what it freed goes back to the system
        // now, or a watch or a window running for months would keep its largest merge.
        platform::release_free_memory();
        const std::int64_t size = lib::file_size(path);
        if (size > 0)
            done += static_cast<std::uint64_t>(size);
        if (options_.owner)
            options_.owner->post_progress(percent_of(done, total));
    }
    save_merge_index();
    if (journal_.size() == 1)
        journal_.push_back(extract_text::no_new_data);
}

storage::MergeIndex* TExtractThread::merge_index()
{
    if (!merge_index_ && !options_.state_folder.empty())
        merge_index_ = std::make_unique<storage::MergeIndex>(options_.state_folder + storage::MergeIndex::file_name);
    return merge_index_.get();
}

// Once per run, after its last package's flush: every entry then names a file as it is on
// disk.
void TExtractThread::save_merge_index()
{
    if (!merge_index_)
        return;
    try {
        merge_index_->save();
    }
    catch (const std::exception&) {
        // Only a shortcut: the entries on disk no longer match the files they name.
    }
}

bool TExtractThread::is_new_package(const std::string& path)
{
    // The cache keeps sizes as 32-bit numbers; compare them the same way.
    const auto size = static_cast<std::int32_t>(lib::file_size(path));
    std::int32_t remembered = 0;
    if (options_.cache && options_.cache->find(path, remembered) && remembered == size)
        return false;
    if (options_.cache)
        options_.cache->store(path, size);
    return true;
}

void TExtractThread::remember_done(const std::string& path)
{
    // A handed-over package is known to the next run over the folder, as if it had found it.
    if (options_.cache && options_.mode == PackageMode::handed_over)
        options_.cache->store(path, static_cast<std::int32_t>(lib::file_size(path)));
    if (options_.failures)
        options_.failures->forget(path);
}

void TExtractThread::note_new_data()
{
    const WellName well{area_, well_};
    if (std::find(new_data_wells_.begin(), new_data_wells_.end(), well) == new_data_wells_.end())
        new_data_wells_.push_back(well);
}

// The overview counts the packages each well received; kept in the state folder, beside the
// merge index, never in the store. Only a count is lost when it cannot be written.
void TExtractThread::note_arrival()
{
    if (single() || well_dir_.empty() || options_.state_folder.empty())
        return;
    try {
        catalogue::record_arrival(options_.state_folder + catalogue::overview_files::arrivals, well_dir_, lib::now_seconds());
    }
    catch (const std::exception&) {
    }
}

void TExtractThread::forget_package(const std::string& path)
{
    if (options_.cache && !single())
        options_.cache->erase(path);
}

// Every failure gets a journal line; the error box only when the package did not fail the
// same way before, unchanged.
void TExtractThread::report_failure(const std::string& path, const std::string& detail, bool unknown)
{
    ++failed_packages_;
    forget_package(path);
    const std::optional<platform::FileStamp> stamp = platform::file_stamp(path);
    const bool repeated = options_.failures && stamp && options_.failures->failed_with(path, *stamp);
    if (options_.failures && stamp)
        options_.failures->remember(path, *stamp, detail);
    failures_.push_back({path, detail, repeated});
    journal_.push_back(extract_text::error_in_package + quoted(path) + ": " + one_line(detail));
    if (!options_.owner || repeated)
        return;
    if (unknown)
        options_.owner->report_error(extract_text::error_caption, extract_text::unknown_error_in_package + quoted(path));
    else
        options_.owner->report_error(extract_text::error_caption,
                                     extract_text::error_in_package + quoted(path) + "\n\n" + detail);
}

void TExtractThread::extract_package(const std::string& path)
{
    if (options_.mode == PackageMode::new_only && !is_new_package(path)) {
        ++skipped_packages_;
        return;
    }
    // Whatever made a package fail (an unreadable file, a full disk, a damaged archive, a
    // missing zlib) may be gone next time: a failed package is never remembered as done.
    try {
        const std::optional<PackageKindInfo> kind = package_kind_of(path);
        if (!kind) {
            // Only a named or handed-over file can be of no kind: the folder's search asks
            // for the kinds by name.
            report_failure(path, extract_text::not_a_package);
            return;
        }
        unpack_package(path, kind->kind, temp_dir_slash_);
    }
    catch (const std::exception& error) {
        report_failure(path, in_users_words(lib::io::describe_error(error)));
        return;
    }
    catch (...) {
        report_failure(path, extract_text::unknown_error, true);
        return;
    }

    // What could not be placed is reported like an unpacking error, and the package is
    // forgotten so that the next run tries it again; the merge drops what already arrived.
    well_dir_.clear();
    Placement placement(*this);
    placement.place_unpacked();
    if (!placement.problems().empty()) {
        std::string detail;
        for (const std::string& problem : placement.problems())
            detail += (detail.empty() ? "" : "\n") + problem;
        report_failure(path, detail);
        return;
    }
    remember_done(path);
    note_arrival();
    ++unpacked_packages_;
}
