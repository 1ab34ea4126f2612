// The extraction run: start, progress, completion, queue of handed-over packages, journal.
#include "ui/Main.h"

#include "settings/Configuration.h"
#include "ui/Controlworks.h"
#include "lib/Mytime.h"
#include "ui/Progressform.h"

#include <QCoreApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QThread>

#include <memory>

void WindowExtractOwner::post_status(const std::string& text)
{
    QCoreApplication::postEvent(progress_, new ExtractProgressEvent(QString::fromStdString(text)));
}

void WindowExtractOwner::post_progress(int percent)
{
    QCoreApplication::postEvent(progress_, new ExtractProgressEvent(percent));
}

void WindowExtractOwner::report_error(const std::string& caption, const std::string& message)
{
    // The run waits here until the user has read the message, as it would on its own thread.
    if (closing_)
        return;
    QWidget* box_owner = qobject_cast<QWidget*>(progress_);
    if (box_owner == nullptr)
        box_owner = &window_;
    const auto show = [this, box_owner, caption, message] {
        if (closing_)
            return;
        QMessageBox::critical(box_owner, QString::fromStdString(caption), QString::fromStdString(message));
    };
    if (QThread::currentThread() == window_.thread()) {
        show();
        return;
    }
    // Not a blocking call: the window's end must be able to release the run without
    // answering what it had queued.
    const auto seen = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        &window_,
        [this, show, seen] {
            show();
            {
                const std::lock_guard lock(answer_mutex_);
                *seen = true;
            }
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(answer_mutex_);
    answered_.wait(lock, [&] { return *seen || closing_.load(); });
}

void WindowExtractOwner::stop_asking()
{
    {
        const std::lock_guard lock(answer_mutex_);
        closing_ = true;
    }
    answered_.notify_all();
}

void WindowExtractOwner::post_notice(const std::string& text)
{
    QMetaObject::invokeMethod(
        &window_, [this, line = QString::fromStdString(text)] { window_.add_journal_line(line); },
        Qt::QueuedConnection);
}

void TDravinexMainForm::tbtnExtractClick()
{
    start_extraction({}, configuration().to_path, PackageMode::new_only);
}

void TDravinexMainForm::set_input_enabled(bool enabled)
{
    // The progress window is a child of this window and must stay usable, so only the
    // window's own controls are switched off.
    centralWidget()->setEnabled(enabled);
    menuBar()->setEnabled(enabled);
    setAcceptDrops(enabled);
}

void TDravinexMainForm::start_extraction(const std::string& package_path, const std::string& data_root,
                                         PackageMode mode)
{
    if (extraction_running())
        return;
    progress_ = std::make_unique<Tfrm_progress>(this);
    progress_->show();
    progress_->repaint();
    set_input_enabled(false);
    owner_.set_progress_window(progress_.get());

    ExtractRequest request;
    request.package = package_path;
    request.from_path = configuration().from_path;
    request.data_root = data_root;
    request.mode = mode;
    // While a dravinex-cli run or a watch of this home holds the lock, the job looks again
    // every second, and the window stays responsive.
    request.lock = LockWait::poll;
    job_.start(std::move(request), [this](ExtractResult result) {
        QMetaObject::invokeMethod(this, [this, result = std::move(result)] { extraction_finished(result); });
    });
}

void TDravinexMainForm::show_result(const ExtractResult& result)
{
    for (const std::string& line : result.journal)
        Memo1->appendPlainText(QString::fromStdString(line));
    for (const std::string& error : result.errors)
        add_journal_line(QString::fromStdString(error));
    if (result.ran())
        add_journal_line(QString::fromStdString(summary_line(result)));
}

void TDravinexMainForm::extraction_finished(const ExtractResult& result)
{
    job_.wait();
    // Every status the run posted is shown before its window goes.
    QCoreApplication::sendPostedEvents(progress_.get(), extract_progress_event);
    if (progress_) {
        progress_->busy = false;
        progress_->close();
        owner_.set_progress_window(nullptr);
        progress_.reset();
    }
    show_result(result);
    for (const RunNotice& notice : run_notices({result}))
        notifier_.show(notice);
    set_input_enabled(true);
    rebuild_tree();
    refresh_package_list();
    if (!pending.empty()) {
        const std::string next = pending.front();
        pending.pop_front();
        start_extraction(next, configuration().to_path, PackageMode::handed_over);
        return;
    }
    repaint();
    tones_.play_end_of_run();
}

void TDravinexMainForm::add_journal_line(const QString& text)
{
    const QString when = QString::fromStdString(lib::format_time(lib::now_seconds(), false));
    Memo1->appendPlainText(when + QStringLiteral(" \t ") + text);
}
