#pragma once
// One extraction job, as every front end runs it: dravinex-cli extract, the watch and the
// window all start the same sequence.
//
// A job takes the home's run lock (waiting for it, giving up at once, or looking again now
// and then while it may be cancelled), reads the package cache afresh under it (another run
// of the home may have saved it meanwhile), runs the extraction, saves the cache and returns
// what happened for its caller to render: the journal, the counts, the failed packages and
// the job's own errors. It shows nothing itself: status texts, percentages, error boxes and
// the notice that it waits for another run go to its ExtractOwner.
//
// run() blocks its caller. start() runs the job on a thread of its own and hands the result
// to `finished` on that thread; one job at a time per object. The cache passed in belongs to
// the job while a job runs. Failures are remembered from job to job (FailureMemory), so a
// package that fails again unchanged does not ask the owner to show its error again.

#include "extract/Extractthread.h"
#include "settings/Configuration_folders.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class RunLock;

// What a job does while another run of the home holds the lock.
enum class LockWait {
    wait,    // blocks until it ends
    no_wait, // ends at once as busy
    poll,    // looks again now and then until it ends or the job is cancelled
};

// The program's own files a job uses.
struct ExtractHome {
    std::string cache;    // the package cache file
    std::string temp_dir; // the temporary folder, no trailing '/'
    std::string run_lock; // the lock file of extraction runs of this home
    std::string state;    // the state folder (merge index, arrivals, failures), ends with '/'
};

// The job's files where the program's folders put them.
ExtractHome extract_home(const ProgramFolders& folders);

struct ExtractRequest {
    std::string package;   // one package, or "" for every new package of from_path
    std::string from_path; // ends with '/'
    std::string data_root; // ends with '/'
    PackageMode mode = PackageMode::new_only;
    LockWait lock = LockWait::wait;
};

struct ExtractResult {
    enum class Outcome {
        ran,       // the run took place (whatever it found)
        busy,      // another run holds the lock and the job would not wait
        cancelled, // cancelled while it waited for the lock
        no_lock,   // the lock file cannot be made or locked: see errors
    };
    Outcome outcome = Outcome::ran;
    std::vector<std::string> journal;
    int found = 0;
    int unpacked = 0;
    int skipped = 0;
    int failed = 0;
    std::vector<PackageFailure> failures;
    // The wells that received new data, for a desktop notification.
    std::vector<WellName> new_data;
    // What went wrong around the run: the lock file, the cache file.
    std::vector<std::string> errors;

    bool ran() const { return outcome == Outcome::ran; }
    bool all_well() const { return ran() && failed == 0 && errors.empty(); }
};

namespace job_text {
inline constexpr const char* cache_not_saved = "Не удалось сохранить кэш данных: ";
} // namespace job_text

// "Пакетов найдено: 3, распаковано: 2, пропущено как уже распакованные: 0, с ошибками: 1"
std::string summary_line(const ExtractResult& result);

class ExtractJob {
public:
    // `owner` may be null (nothing is shown while the job runs).
    ExtractJob(ExtractHome home, FilesDataStorage& cache, ExtractOwner* owner);
    // Cancels a job that waits for the lock and waits for a started job to end.
    ~ExtractJob();
    ExtractJob(const ExtractJob&) = delete;
    ExtractJob& operator=(const ExtractJob&) = delete;

    ExtractResult run(const ExtractRequest& request);
    void start(ExtractRequest request, std::function<void(ExtractResult)> finished);
    // A job still waiting for the lock in poll mode gives up; a running extraction goes on.
    void cancel() { cancelled_ = true; }
    // True from start() until `finished` has returned.
    bool running() const { return running_; }
    void wait();

    FailureMemory& failures() { return failures_; }

private:
    std::unique_ptr<RunLock> take_lock(LockWait wait, ExtractResult& result);
    void save_cache(ExtractResult& result);

    ExtractHome home_;
    FilesDataStorage& cache_;
    ExtractOwner* owner_;
    FailureMemory failures_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> running_{false};
    std::thread thread_;
};
