// The extraction run and the package dispatcher.

#include "extract/Extractthread.h"

#include "extract/Archive_packages.h"
#include "extract/Regzipclass.h"
#include "lib/Strworks.h"
#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"
#include "platform/Memory.h"
#include "storage/Realtimedatareader.h"

#include <cerrno>
#include <filesystem>

namespace {

const char* const package_masks[] = {"*.zreg", "*.rar", "*.7z_reg", "*.compr_rt", "*.compr2_rt"};

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

} // namespace

std::string single_package_destination(const std::string& package_path, const std::string& name)
{
    const std::string folder = name.empty() ? std::string(extract_text::default_destination_name) : name;
    return lib::folder_of(package_path) + folder + "/";
}

std::string describe_error(const std::exception& error)
{
    if (const auto* file_error = dynamic_cast<const lib::io::FileError*>(&error))
        return file_error->describe();
    return error.what();
}

TExtractThread::TExtractThread(bool /*create_suspended*/, bool single_file, std::string data_root,
                               std::string package_path, FilesDataStorage* files_cache, ExtractOwner* progress_window,
                               std::string temp_dir, std::string from_path)
    : temp_dir_(lib::absolute_path(temp_dir)),
      progress_window_(progress_window),
      files_cache_(files_cache),
      package_path_(lib::absolute_path(package_path)),
      data_root_(lib::absolute_path(data_root)),
      single_file_(single_file),
      from_path_(lib::absolute_path(from_path))
{
    // The front ends pass full paths already; a relative one would reach the archiver, which
    // runs in another folder, and the cache, which must know each package by one name.
}

TExtractThread::~TExtractThread()
{
    wait();
}

void TExtractThread::start()
{
    thread_ = std::thread([this] {
        try {
            Execute();
        }
        catch (const std::exception& error) {
            ++failed_packages_;
            if (progress_window_)
                progress_window_->report_error(extract_text::error_caption, describe_error(error));
        }
        finished_ = true;
        if (on_terminate_)
            on_terminate_();
    });
}

void TExtractThread::wait()
{
    if (thread_.joinable())
        thread_.join();
}

void TExtractThread::post_status(const std::string& text)
{
    if (progress_window_)
        progress_window_->post_status(text);
}

void TExtractThread::find_packages()
{
    if (!package_path_.empty()) {
        finder_.find(package_path_, lib::attr_set_files, false);
        return;
    }
    for (const char* mask : package_masks)
        finder_.find(from_path_ + mask, lib::attr_set_files, true);
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
    if (progress_window_)
        progress_window_->report_error(extract_text::error_caption, what + quoted(folder) + ": " +
                                                                        platform::error_text(error ? error.value() : ENOTDIR));
    return false;
}

void TExtractThread::Execute()
{
    journal_.push_back(extract_text::journal_title);
    if (data_root_.empty())
        return;
    // The store's root may be new, parents included: it is the folder the user chose.
    if (!prepare_folder(data_root_.substr(0, data_root_.size() - 1), true, extract_text::store_not_created))
        return;
    temp_dir_slash_ = temp_dir_ + "/";
    if (!prepare_folder(temp_dir_, false, extract_text::temp_not_created))
        return;
    lib::delete_files(temp_dir_slash_);

    // Before the first merge, so that its large blocks are already mapped on their own.
    platform::release_free_memory();
    find_packages();
    finder_.sort_by_name();
    found_packages_ = static_cast<int>(finder_.files.size());
    const std::uint64_t total = finder_.total_size;
    std::uint64_t done = 0;
    for (const lib::FindedFile& package : finder_.files) {
        const std::string path = package.path();
        post_status(extract_text::processing + quoted(path));
        lib::empty_tree(temp_dir_slash_);
        extract_package(path, single_file_);
        lib::empty_tree(temp_dir_slash_);
        // A merge holds whole well files in memory; what it freed goes back to the system
        // now, or a watch or a window running for months would keep its largest merge.
        platform::release_free_memory();
        const std::int64_t size = lib::file_size(path);
        if (size > 0)
            done += static_cast<std::uint64_t>(size);
        if (progress_window_)
            progress_window_->post_progress(percent_of(done, total));
    }
    if (journal_.size() == 1)
        journal_.push_back(extract_text::no_new_data);
}

bool TExtractThread::is_new_package(const std::string& path)
{
    // The cache keeps sizes as 32-bit numbers; compare them the same way.
    const auto size = static_cast<std::int32_t>(lib::file_size(path));
    std::int32_t remembered = 0;
    if (files_cache_ && files_cache_->find(path, remembered) && remembered == size)
        return false;
    if (files_cache_)
        files_cache_->store(path, size);
    return true;
}

void TExtractThread::forget_package(const std::string& path)
{
    if (files_cache_ && !single_file_)
        files_cache_->erase(path);
}

void TExtractThread::report_failure(const std::string& path, const std::string& detail)
{
    ++failed_packages_;
    const std::string message = extract_text::error_in_package + quoted(path) + "\n\n" + detail;
    if (progress_window_)
        progress_window_->report_error(extract_text::error_caption, message);
}

void TExtractThread::unpack(const std::string& path, const std::string& extension)
{
    if (extension == ".zreg") {
        rzip::Decompression package(path);
        // A package that cannot be read is an error, not an empty package: it would
        // otherwise be remembered as done.
        package.rethrow_open_error();
        package.extract_all(temp_dir_slash_);
    }
    else if (extension == ".rar")
        extract_rar_package(path, temp_dir_slash_);
    else if (extension == ".7z_reg")
        extract_7z_package(path, temp_dir_slash_);
    else if (extension == ".compr_rt")
        extract_compressed_rt(path, temp_dir_slash_, 0);
    else if (extension == ".compr2_rt")
        extract_compressed_rt(path, temp_dir_slash_, 2);
}

void TExtractThread::extract_package(const std::string& path, bool single)
{
    if (!single && !is_new_package(path)) {
        ++skipped_packages_;
        return;
    }
    // Whatever made a package fail (an unreadable file, a full disk, a damaged archive, a
    // missing zlib) may be gone next time: a failed package is never remembered as done.
    try {
        unpack(path, lib::extension_of(path));
    }
    catch (const std::exception& error) {
        report_failure(path, describe_error(error));
        forget_package(path);
        return;
    }
    catch (...) {
        ++failed_packages_;
        forget_package(path);
        if (progress_window_)
            progress_window_->report_error(extract_text::error_caption,
                                           extract_text::unknown_error_in_package + quoted(path));
        return;
    }

    // What could not be placed is reported like an unpacking error, and the package is
    // forgotten so that the next run tries it again; the merge drops what already arrived.
    Placement placement(*this);
    placement.place_unpacked(single);
    if (!placement.problems().empty()) {
        std::string detail;
        for (const std::string& problem : placement.problems())
            detail += (detail.empty() ? "" : "\n") + problem;
        report_failure(path, detail);
        forget_package(path);
        return;
    }
    ++unpacked_packages_;
}
