#pragma once
// The extraction run: finds the packages, unpacks each into the program's temporary folder
// and places the result in the data store, writing a journal for the user.
//
// TExtractThread runs on the caller's thread; ExtractJob (extract/Extract_job.h) takes the
// home's lock and cache around it and puts it on a thread of its own for the window. It talks
// to its owner only through ExtractOwner: status texts and percentages, and a blocking error
// report per failed package. The journal may be read once the run has ended. The package cache and the data
// store belong to the run while it lasts; nothing here is shared with another thread.

#include "catalogue/Filedata.h"
#include "lib/Fileworks.h"
#include "lib/io/Binary_io.h"
#include "lib/io/File_placement.h"
#include "platform/Folder_watch.h"
#include "storage/Merge_index.h"

#include <map>
#include <memory>
#include <set>
#include <string>
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
    // A line for the user while the run has not begun (it waits for another run).
    virtual void post_notice(const std::string& /*text*/) {}

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
inline constexpr const char* unknown_error = "неизвестная ошибка";
inline constexpr const char* merge_failed_head = "В процессе распаковки файла '";
inline constexpr const char* merge_failed_tail = "' произошла ошибка";
inline constexpr const char* undefined_name = "undefined";
inline constexpr const char* default_destination_name = "GTI_Data";
inline constexpr const char* store_not_created = "Не удалось создать папку данных ";
inline constexpr const char* temp_not_created = "Не удалось создать временную папку ";
inline constexpr const char* input_folder = "Папка пакетов ";
inline constexpr const char* input_missing = " не существует";
inline constexpr const char* package_missing = "такого файла нет";
inline constexpr const char* package_is_folder = "это папка, а не пакет";
inline constexpr const char* package_hidden = "скрытый файл не распаковывается";
inline constexpr const char* not_a_package =
    "это не пакет: распаковываются только файлы .zreg, .rar, .7z_reg, .compr_rt и .compr2_rt";
} // namespace extract_text

// How a run treats the packages it unpacks.
enum class PackageMode {
    new_only,    // skipped when the cache knows it at its size; placed by area and well
    handed_over, // unpacked whatever the cache says; placed by area and well
    single,      // unpacked whatever the cache says, straight into data_root; cache untouched
};

// Packages that failed, with the size and time they had then and why. A package that fails
// again unchanged is only written to the journal: one damaged package must not stop every
// run with the same error box, nor every start of the window.
class FailureMemory {
public:
    // The file of the home that keeps the memory from one program start to the next.
    static constexpr const char* file_name = "PackageFailures.bin";

    void remember(const std::string& path, platform::FileStamp stamp, std::string reason = {});
    void forget(const std::string& path);
    // True when the package failed before with this very stamp.
    bool failed_with(const std::string& path, const platform::FileStamp& stamp) const;
    // True when the package as it lies now failed before.
    bool failed_unchanged(const std::string& path) const;

    // Takes what the file holds; a missing or damaged file leaves the memory as it is.
    void load(const std::string& path);
    // Writes the memory when it changed since load(); only a repeated error box is lost when
    // it cannot be written, so errors are left out.
    void save(const std::string& path);

private:
    struct Failure {
        platform::FileStamp stamp;
        std::string reason;
    };
    std::map<std::string, Failure> failed_;
    bool changed_ = false;
};

// A well of the store by its area and well folder names.
struct WellName {
    std::string area;
    std::string well;

    bool operator==(const WellName&) const = default;
};

// One failed package of a run, for the journal and the summary.
struct PackageFailure {
    std::string package;
    std::string reason;
    bool repeated = false; // failed before unchanged: not shown to the user again
};

struct ExtractRunOptions {
    std::string data_root{}; // where the data go, ends with '/'
    std::string package{};   // one package, or "" for every package under from_path
    std::string from_path{}; // the input folder searched in a run over everything, ends with '/'
    std::string temp_dir{};  // the run's temporary folder
    // The program's state folder, ending with '/': the merge index and the wells' arrivals
    // are kept there; "" keeps neither (every merge then reads the well's file).
    std::string state_folder{};
    PackageMode mode = PackageMode::new_only;
    FilesDataStorage* cache = nullptr;
    ExtractOwner* owner = nullptr;
    FailureMemory* failures = nullptr; // kept by the caller from run to run, if it wants
};

class TExtractThread {
public:
    // Relative paths are made absolute against the current folder here. Whoever starts a run
    // holds the home's RunLock (extract/Run_lock.h) until it has ended and the cache is saved;
    // ExtractJob (extract/Extract_job.h) does all of that.
    explicit TExtractThread(ExtractRunOptions options);
    TExtractThread(const TExtractThread&) = delete;
    TExtractThread& operator=(const TExtractThread&) = delete;

    void Execute();
    // Execute(), with an unexpected error of the run itself counted and reported as a failure.
    void run_guarded();

    // The dispatcher: unpacks one package by its kind and places it.
    void extract_package(const std::string& path);
    // True (and its size remembered) when the cache does not know the package at this size.
    bool is_new_package(const std::string& path);

    const std::vector<std::string>& journal() const { return journal_; }
    // Counts of this run: packages found, unpacked and placed, skipped as known to the
    // cache, and failed (to unpack or to place; a folder the run could not make counts too).
    int found_packages() const { return found_packages_; }
    int unpacked_packages() const { return unpacked_packages_; }
    int skipped_packages() const { return skipped_packages_; }
    int failed_packages() const { return failed_packages_; }
    const std::vector<PackageFailure>& failures() const { return failures_; }
    // The wells that received new data in this run (a data file placed new or grown), each
    // once, in the order they first did.
    const std::vector<WellName>& new_data_wells() const { return new_data_wells_; }

private:
    friend class Placement;

    bool single() const { return options_.mode == PackageMode::single; }
    void post_status(const std::string& text);
    void report_failure(const std::string& path, const std::string& detail, bool unknown = false);
    void report_run_error(const std::string& message);
    void forget_package(const std::string& path);
    void note_new_data();
    void remember_done(const std::string& path);
    void note_arrival();
    void find_packages();
    void find_named_package();
    bool prepare_folder(const std::string& folder, bool with_parents, const char* what);
    storage::MergeIndex* merge_index();
    void save_merge_index();

    ExtractRunOptions options_;
    std::vector<std::string> journal_;
    lib::FileFinder finder_;
    std::string temp_dir_slash_;
    std::string well_;
    std::string area_;
    std::string area_dir_;
    std::string well_dir_;
    std::string dest_dir_;

    int found_packages_ = 0;
    int unpacked_packages_ = 0;
    int skipped_packages_ = 0;
    int failed_packages_ = 0;
    std::vector<PackageFailure> failures_;
    std::vector<WellName> new_data_wells_;
    // What the merges know of the well files: read at the run's first real-time merge,
    // saved once when the run's last package is placed.
    std::unique_ptr<storage::MergeIndex> merge_index_;
};

// Placement of one unpacked package into the store; used by the dispatcher.
class Placement {
public:
    explicit Placement(TExtractThread& run) : run_(run) {}
    // Throws when something could not be written; what could be placed stays placed.
    void place_unpacked();
    void merge_data_files(const std::string& mask);
    void merge_data_file(const std::string& source);
    // Stages the matching files to replace those of the destination.
    void copy_by_mask(const std::string& source_folder, const std::string& destination_folder, const std::string& mask);

    // What could not be placed, one text per file; empty when everything was placed.
    const std::vector<std::string>& problems() const { return problems_; }

private:
    void read_identity();
    void make_folder(const std::string& folder);
    void make_destination();
    void merge_into(const std::string& source, const std::string& target);
    void merge_realtime(const std::string& source, const std::string& target);
    void merge_classic(const std::string& source, const std::string& target);
    void place_staged_files();
    // Journals a data file that received new records (or came new).
    void journal_data_file(const std::string& source, bool changed);
    std::string journal_line(const std::string& name) const;
    void journal_depth_only();
    void note_problem(const std::string& file, const std::exception& error);
    void note_merge_failure(const std::string& target, const std::string& text);

    TExtractThread& run_;
    std::vector<std::string> problems_;
    // The package's new data files and copies, placed together after the merges.
    lib::io::FilePlacement files_;
    std::set<std::string> new_data_files_;
    bool time_file_journaled_ = false;
    std::vector<std::string> other_data_files_; // grown or new, not time files
};

// Where a package named on a command line sends its data: the folder `name` beside the
// package, or "GTI_Data" beside it when no name (or an empty one) is given. Ends with '/'.
std::string single_package_destination(const std::string& package_path, const std::string& name);
// Whether `name` can be that folder's name: no '/', never "." or "..". A path there would
// make a chain of folders beside the package, or lead out of its folder.
bool is_destination_name(const std::string& name);

