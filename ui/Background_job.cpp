#include "ui/Background_job.h"

#include "lib/io/Binary_io.h"

namespace background {

void Query::answer(int value)
{
    {
        const std::lock_guard lock(mutex_);
        if (answer_)
            return;
        answer_ = value;
    }
    answered_.notify_all();
}

bool Query::answered() const
{
    const std::lock_guard lock(mutex_);
    return answer_.has_value();
}

int Query::wait()
{
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [this] { return answer_.has_value(); });
    return *answer_;
}

bool JobContext::cancelled() const
{
    return job_.cancel_;
}

const std::atomic<bool>& JobContext::cancel_flag() const
{
    return job_.cancel_;
}

void JobContext::progress(int percent)
{
    emit job_.progress(percent);
}

void JobContext::status(const QString& text)
{
    emit job_.status(text);
}

void JobContext::notice(const QString& text)
{
    emit job_.notice(text);
}

int JobContext::ask(const std::shared_ptr<Query>& query)
{
    {
        // Registered before the check, so that a cancel either sees it or came first.
        const std::lock_guard lock(job_.query_mutex_);
        if (job_.cancel_)
            return query->cancel_answer();
        job_.open_query_ = query;
    }
    emit job_.asked(query);
    const int answer = query->wait();
    const std::lock_guard lock(job_.query_mutex_);
    job_.open_query_.reset();
    return answer;
}

Job::Job(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<std::shared_ptr<background::Query>>();
}

Job::~Job()
{
    cancel();
    wait();
}

bool Job::start(std::function<void(JobContext&)> work, std::function<void()> done)
{
    if (running_)
        return false;
    wait();
    cancel_ = false;
    running_ = true;
    thread_ = std::thread([this, work = std::move(work), done = std::move(done)]() mutable {
        std::optional<QString> failure;
        try {
            JobContext context(*this);
            work(context);
        }
        catch (const std::exception& problem) {
            failure = QString::fromStdString(lib::io::describe_error(problem));
        }
        // Queued with this job as context: a job destroyed meanwhile drops it.
        QMetaObject::invokeMethod(
            this, [this, done = std::move(done), failure] { work_returned(done, failure); }, Qt::QueuedConnection);
    });
    return true;
}

void Job::work_returned(const std::function<void()>& done, const std::optional<QString>& failure)
{
    wait();
    running_ = false;
    if (failure)
        emit error(*failure);
    else if (done)
        done();
    emit finished();
}

void Job::cancel()
{
    const std::lock_guard lock(query_mutex_);
    cancel_ = true;
    if (open_query_)
        open_query_->answer(open_query_->cancel_answer());
}

void Job::wait()
{
    if (thread_.joinable())
        thread_.join();
}

} // namespace background
