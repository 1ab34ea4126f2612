#pragma once
// The one way the window runs work off its GUI thread: extraction, the store check, the
// tree scan, the package list, copying, moving to the trash, the overview and the viewer's
// load all go through a background::Job.
//
// A Job runs one piece of work at a time on a thread of its own. The work sees a
// JobContext: whether it is asked to stop, where to report a share done, a status line or a
// journal line, and ask(), which puts a Query to the user on the GUI thread and waits for
// the answer. The GUI thread only starts jobs and renders what they report: the signals
// progress(), status(), notice(), asked(), error() and finished() arrive there, queued.
//
// Ownership and threading: a Job is a QObject of the GUI thread; start(), cancel() and
// running() are called there. cancel() asks the work to stop and answers an open question
// with its cancel answer; work that cannot stop is waited for. The destructor cancels and
// joins; a job destroyed before its result reached the GUI thread drops the result.
//
// Errors: an exception escaping the work becomes error() with its text; the result handler
// is then not called, finished() is.

#include <QMetaType>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

namespace background {

// A question the work puts to the user, as a message box would: a caption, a text, and the
// answer the work takes when the job is cancelled before anyone answered.
class Query {
public:
    Query(QString caption, QString text, int cancel_answer)
        : caption_(std::move(caption)), text_(std::move(text)), cancel_answer_(cancel_answer)
    {
    }

    const QString& caption() const { return caption_; }
    const QString& text() const { return text_; }
    int cancel_answer() const { return cancel_answer_; }

    // The user's answer (GUI thread); only the first answer counts.
    void answer(int value);
    bool answered() const;
    // Waits for the answer (worker thread).
    int wait();

private:
    QString caption_;
    QString text_;
    int cancel_answer_;
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    std::optional<int> answer_;
};

class Job;

// What the work sees on its thread.
class JobContext {
public:
    bool cancelled() const;
    // The flag that cancel() sets, for core code that takes one.
    const std::atomic<bool>& cancel_flag() const;
    // A share done, 0..100.
    void progress(int percent);
    // A status line for a progress window.
    void status(const QString& text);
    // A line for the journal.
    void notice(const QString& text);
    // Puts the question to the user and returns the answer; a cancelled job returns the
    // query's cancel answer without waiting.
    int ask(const std::shared_ptr<Query>& query);

private:
    friend class Job;
    explicit JobContext(Job& job) : job_(job) {}
    Job& job_;
};

class Job : public QObject {
    Q_OBJECT
public:
    explicit Job(QObject* parent = nullptr);
    ~Job() override;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Runs `work` on a thread of its own; once it has returned, `done` runs on the GUI
    // thread and finished() follows. False, and nothing started, while a job runs.
    bool start(std::function<void(JobContext&)> work, std::function<void()> done = {});

    // The same for work that returns a result, which `done` receives.
    template <typename Work, typename Done>
    bool start_with_result(Work work, Done done)
    {
        using Result = std::invoke_result_t<Work&, JobContext&>;
        auto result = std::make_shared<std::optional<Result>>();
        return start([work = std::move(work), result](JobContext& context) mutable { result->emplace(work(context)); },
                     [done = std::move(done), result]() mutable { done(std::move(**result)); });
    }

    // Asks the work to stop; an open question is answered with its cancel answer.
    void cancel();
    bool cancelled() const { return cancel_; }
    // From start() until the result handler has run.
    bool running() const { return running_; }
    // Blocks until the work has returned; its result handler does not run here.
    void wait();

signals:
    void progress(int percent);
    void status(const QString& text);
    void notice(const QString& text);
    void asked(std::shared_ptr<background::Query> query);
    void error(const QString& text);
    void finished();

private:
    friend class JobContext;
    void work_returned(const std::function<void()>& done, const std::optional<QString>& failure);

    std::thread thread_;
    std::atomic<bool> cancel_{false};
    bool running_ = false;
    std::mutex query_mutex_;
    std::shared_ptr<Query> open_query_;
};

} // namespace background

Q_DECLARE_METATYPE(std::shared_ptr<background::Query>)
