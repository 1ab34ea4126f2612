// The extraction run: start, progress, completion, queue of handed-over packages, journal.
#include "ui/Main.h"

#include "app/Configuration.h"
#include "app/Controlworks.h"
#include "lib/Mytime.h"
#include "ui/Progressform.h"

#include <QCoreApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QThread>
#include <QTimer>

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
    if (QThread::currentThread() == window_.thread())
        show();
    else
        QMetaObject::invokeMethod(&window_, show, Qt::BlockingQueuedConnection);
}

void TDravinexMainForm::tbtnExtractClick()
{
    start_extraction({}, configuration().to_path, false);
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
                                         bool single_file)
{
    if (extraction_running())
        return;
    progress_ = std::make_unique<Tfrm_progress>(this);
    progress_->show();
    progress_->repaint();
    set_input_enabled(false);
    owner_.set_progress_window(progress_.get());
    waiting_for_lock_noted_ = false;
    start_run_when_free(package_path, data_root, single_file);
}

void TDravinexMainForm::start_run_when_free(const std::string& package_path, const std::string& data_root,
                                            bool single_file)
{
    try {
        auto lock = std::make_unique<RunLock>(folders_.run_lock, false);
        if (!lock->held()) {
            if (!waiting_for_lock_noted_)
                add_journal_line(ui_text(run_lock_text::waiting) + QString::fromStdString(folders_.run_lock));
            waiting_for_lock_noted_ = true;
            QTimer::singleShot(1000, this, [=, this] { start_run_when_free(package_path, data_root, single_file); });
            return;
        }
        run_lock_ = std::move(lock);
    }
    catch (const std::exception& error) {
        // A home without a lock file cannot hold a temporary folder either: the run itself
        // will say what fails.
        note_home_problem(ui_text(main_text::run_lock_failed), error);
    }
    // Another run of this home may have unpacked packages since the cache was read.
    cache.load(folders_.cache);
    cache_unsaved_ = true;
    run_ = std::make_unique<TExtractThread>(true, single_file, data_root, package_path, &cache, &owner_,
                                            folders_.temp_dir, configuration().from_path);
    run_->set_on_terminate([this] { QMetaObject::invokeMethod(this, [this] { extraction_finished(); }); });
    run_->start();
}

void TDravinexMainForm::extraction_finished()
{
    run_->wait();
    for (const std::string& line : run_->journal())
        Memo1->appendPlainText(QString::fromStdString(line));
    run_.reset();
    // Every status the run posted is shown before its window goes.
    QCoreApplication::sendPostedEvents(progress_.get(), extract_progress_event);
    if (progress_) {
        progress_->busy = false;
        progress_->close();
        owner_.set_progress_window(nullptr);
        progress_.reset();
    }
    set_input_enabled(true);
    // Kept after every run, so that a crash later does not unpack the same packages again.
    save_cache();
    run_lock_.reset();
    rebuild_tree();
    refresh_package_list();
    if (!pending.empty()) {
        const std::string next = pending.front();
        pending.pop_front();
        start_extraction(next, configuration().to_path, true);
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
