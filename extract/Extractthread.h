#pragma once
// The extraction run: finds the packages, unpacks each into the program's temporary folder
// and places the result in the data store, writing a journal for the user.
//
// TExtractThread runs Execute() on its own std::thread after start(), or on the caller's
// thread through Execute() directly (the command-line front end). It talks to its owner only
// through ExtractOwner: status texts and percentages, and a blocking error report per failed
// package. The journal may be read once the run has ended. The package cache and the data
// store belong to the run while it lasts; nothing here is shared with another thread.

#include "catalogue/Filedata.h"
#include "lib/Fileworks.h"
#include "storage/Merge_index.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class FileStorage;

// What the run tells its owner. Calls come from the run's thread.
class ExtractOwner {
public:
    // A status line to show.
    virtual void post_status(const std::string& text) = 0;
    // Overall progress, 0..100.
    virtual void post_progress(int percent) = 0;
    // A package failed: show the message and return when the user has seen it.
    virtual void report_error(const std::string& caption, const std::string& message) = 0;

protected:
    ~ExtractOwner() = default;
};

namespace extract_text {
inline constexpr const char* journal_title = "Распаковка данных:";
inline constexpr const char* no_new_data = "НОВЫЕ данные не найдены!";
inline constexpr const char* processing = "Обрабатывается файл ";
inline constexpr const char* error_caption = "  ОШИБКА";
inline constexpr const char* error_in_package = "Произошла ошибка при распаковке файла ";
inline constexpr const char* unknown_error_in_package = "Произошла неизвестная ошибка при распаковке файла ";
inline constexpr const char* merge_failed_head = "В процессе распаковки файла '";
inline constexpr const char* merge_failed_tail = "' произошла ошибка";
inline constexpr const char* undefined_name = "undefined";
inline constexpr const char* temp_folder_name = "temp.dir.tmp";
inline constexpr const char* default_destination_name = "GTI_Data";
inline constexpr const char* store_not_created = "Не удалось создать папку данных ";
inline constexpr const char* temp_not_created = "Не удалось создать временную папку ";
} // namespace extract_text

class TExtractThread {
public:
    // `from_path` is the input folder searched in a run over everything (ends with '/').
    // Relative paths are made absolute against the current folder here. Whoever starts a run
    // holds the home's RunLock (extract/Run_lock.h) until it has ended and the cache is saved.
    TExtractThread(bool create_suspended, bool single_file, std::string data_root, std::string package_path,
                   FilesDataStorage* files_cache, ExtractOwner* progress_window, std::string temp_dir,
                   std::string from_path);
    ~TExtractThread();
    TExtractThread(const TExtractThread&) = delete;
    TExtractThread& operator=(const TExtractThread&) = delete;

    // Runs Execute() on a thread of its own, then `on_terminate` on that thread.
    void start();
    void wait();
    void set_on_terminate(std::function<void()> handler) { on_terminate_ = std::move(handler); }

    void Execute();

    // The dispatcher: unpacks one package by its kind and places it.
    void extract_package(const std::string& path, bool single);
    // True (and its size remembered) when the cache does not know the package at this size.
    bool is_new_package(const std::string& path);

    const std::vector<std::string>& journal() const { return journal_; }
    // Counts of this run: packages found, unpacked and placed, skipped as known to the
    // cache, and failed (to unpack or to place; a folder the run could not make counts too).
    int found_packages() const { return found_packages_; }
    int unpacked_packages() const { return unpacked_packages_; }
    int skipped_packages() const { return skipped_packages_; }
    int failed_packages() const { return failed_packages_; }
    bool finished() const { return finished_; }

private:
    friend class Placement;

    void post_status(const std::string& text);
    void unpack(const std::string& path, const std::string& extension);
    void report_failure(const std::string& path, const std::string& detail);
    void forget_package(const std::string& path);
    void find_packages();
    bool prepare_folder(const std::string& folder, bool with_parents, const char* what);

    std::vector<std::string> journal_;
    lib::FileFinder finder_;
    std::string temp_dir_;
    std::string temp_dir_slash_;
    std::string well_;
    std::string area_;
    std::string area_dir_;
    std::string well_dir_;
    std::string dest_dir_;
    ExtractOwner* progress_window_;
    FilesDataStorage* files_cache_;
    std::string package_path_;
    std::string data_root_;
    bool single_file_;
    std::string from_path_;

    int found_packages_ = 0;
    int unpacked_packages_ = 0;
    int skipped_packages_ = 0;
    int failed_packages_ = 0;
    std::atomic<bool> finished_{false};
    std::function<void()> on_terminate_;
    std::thread thread_;
};

// Placement of one unpacked package into the store; used by the dispatcher.
class Placement {
public:
    explicit Placement(TExtractThread& run) : run_(run) {}
    // Throws when something could not be written; what could be placed stays placed.
    void place_unpacked(bool single);
    void merge_data_files(const std::string& mask);
    void merge_data_file(const std::string& source);
    void copy_by_mask(const std::string& source_folder, const std::string& destination_folder, const std::string& mask);

    // What could not be placed, one text per file; empty when everything was placed.
    const std::vector<std::string>& problems() const { return problems_; }

private:
    void read_identity();
    void make_destination(bool single);
    bool merge_into(const std::string& source, const std::string& target);
    bool merge_classic(const std::string& source, const std::string& target);
    storage::MergeIndex& merge_index();
    void note_problem(const std::string& file, const std::exception& error);

    TExtractThread& run_;
    std::vector<std::string> problems_;
    // What the merges know of the well files, kept in the program's folder; read at the
    // package's first real-time merge and saved after its merges.
    std::unique_ptr<storage::MergeIndex> merge_index_;
};

// Where a package named on a command line sends its data: the folder `name` beside the
// package, or "GTI_Data" beside it when no name (or an empty one) is given. Ends with '/'.
std::string single_package_destination(const std::string& package_path, const std::string& name);

// The text of an error for the user: file errors with their file and the system's reason.
std::string describe_error(const std::exception& error);

// An area or well name as a folder name: no folder separators, never "." or "..".
std::string folder_name_of(std::string name);
// Copies a file through a temporary file and a rename; throws lib::io::FileError.
void copy_file_replacing(const std::string& from, const std::string& to);
// Puts an unpacked file into the store under `to`, replacing what is there: moved when it
// can be, copied otherwise; throws lib::io::FileError.
void place_file(const std::string& from, const std::string& to);
// Places a file at `to` only when nothing is there; false when something is.
bool place_new_file(const std::string& from, const std::string& to);
