// The extraction job: lock, cache, run, cache, result.

#include "extract/Extract_job.h"

#include "extract/Run_lock.h"
#include "lib/Sys_utils.h"

#include <chrono>

namespace {

// How often a polling job looks at the lock again, and checks for a cancel in between.
constexpr auto poll_interval = std::chrono::milliseconds(1000);
constexpr auto cancel_check = std::chrono::milliseconds(50);

void copy_run_result(const TExtractThread& run, ExtractResult& result)
{
    result.journal = run.journal();
    result.found = run.found_packages();
    result.unpacked = run.unpacked_packages();
    result.skipped = run.skipped_packages();
    result.failed = run.failed_packages();
    result.failures = run.failures();
    result.new_data = run.new_data_wells();
}

} // namespace

std::string summary_line(const ExtractResult& result)
{
    return "Пакетов найдено: " + std::to_string(result.found) + ", распаковано: " + std::to_string(result.unpacked)
           + ", пропущено как уже распакованные: " + std::to_string(result.skipped)
           + ", с ошибками: " + std::to_string(result.failed);
}

ExtractHome extract_home(const ProgramFolders& folders)
{
    return ExtractHome{folders.cache, folders.temp_dir, folders.run_lock, folders.state};
}

ExtractJob::ExtractJob(ExtractHome home, FilesDataStorage& cache, ExtractOwner* owner)
    : home_(std::move(home)), cache_(cache), owner_(owner)
{
}

ExtractJob::~ExtractJob()
{
    cancel();
    wait();
}

void ExtractJob::wait()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void ExtractJob::start(ExtractRequest request, std::function<void(ExtractResult)> finished)
{
    wait();
    cancelled_ = false;
    running_ = true;
    thread_ = std::thread([this, request = std::move(request), finished = std::move(finished)] {
        ExtractResult result = run(request);
        if (finished)
            finished(std::move(result));
        running_ = false;
    });
}

std::unique_ptr<RunLock> ExtractJob::take_lock(LockWait wait, ExtractResult& result)
{
    const auto say_waiting = [this] {
        if (owner_)
            owner_->post_notice(run_lock_text::waiting + home_.run_lock);
    };
    try {
        if (wait == LockWait::wait)
            return std::make_unique<RunLock>(home_.run_lock, true, say_waiting);
        bool said = false;
        for (;;) {
            auto lock = std::make_unique<RunLock>(home_.run_lock, false);
            if (lock->held())
                return lock;
            if (wait == LockWait::no_wait) {
                result.outcome = ExtractResult::Outcome::busy;
                return nullptr;
            }
            if (!said)
                say_waiting();
            said = true;
            for (auto waited = std::chrono::milliseconds(0); waited < poll_interval; waited += cancel_check) {
                if (cancelled_) {
                    result.outcome = ExtractResult::Outcome::cancelled;
                    return nullptr;
                }
                std::this_thread::sleep_for(cancel_check);
            }
        }
    }
    catch (const std::exception& error) {
        // Without the lock the temporary folder is not ours: no run at all.
        result.outcome = ExtractResult::Outcome::no_lock;
        result.errors.push_back(lib::io::describe_error(error));
        return nullptr;
    }
}

void ExtractJob::save_cache(ExtractResult& result)
{
    try {
        cache_.save(home_.cache);
    }
    catch (const std::exception& error) {
        result.errors.push_back(job_text::cache_not_saved + lib::io::describe_error(error));
    }
}

ExtractResult ExtractJob::run(const ExtractRequest& request)
{
    ExtractResult result;
    const std::unique_ptr<RunLock> lock = take_lock(request.lock, result);
    if (!lock)
        return result;
    // Another run of this home may have unpacked packages since the cache was read, and an
    // earlier start of the program may have seen packages fail.
    cache_.load(home_.cache);
    const std::string failures_file = home_.state + FailureMemory::file_name;
    failures_.load(failures_file);
    ExtractRunOptions options;
    options.data_root = request.data_root;
    options.package = request.package;
    options.from_path = request.from_path;
    options.temp_dir = home_.temp_dir;
    options.state_folder = home_.state;
    options.mode = request.mode;
    options.cache = &cache_;
    options.owner = owner_;
    options.failures = &failures_;
    TExtractThread extraction(std::move(options));
    extraction.run_guarded();
    copy_run_result(extraction, result);
    // A named package leaves the cache as it was; every other run keeps what it unpacked,
    // so that a crash later does not unpack the same packages again.
    if (request.mode != PackageMode::single)
        save_cache(result);
    failures_.save(failures_file);
    return result;
}
