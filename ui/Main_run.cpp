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

#include <memory>

void WindowExtractOwner::post_status(const std::string& text)
{
    context_->status(QString::fromStdString(text));
}

void WindowExtractOwner::post_progress(int percent)
{
    context_->progress(percent);
}

void WindowExtractOwner::report_error(const std::string& caption, const std::string& message)
{
    // The run waits until the user has read the message; a window that closes lets it go on.
    context_->ask(std::make_shared<background::Query>(QString::fromStdString(caption), QString::fromStdString(message),
                                                      QMessageBox::Ok));
}

void WindowExtractOwner::post_notice(const std::string& text)
{
    context_->notice(QString::fromStdString(text));
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
    if (extraction_running() || close_pending_)
        return;
    progress_ = std::make_unique<Tfrm_progress>(this);
    connect(&extract_task_, &background::Job::status, progress_.get(), &Tfrm_progress::set_status);
    connect(&extract_task_, &background::Job::progress, progress_.get(), &Tfrm_progress::set_percent);
    progress_->show();
    set_input_enabled(false);

    ExtractRequest request;
    request.package = package_path;
    request.from_path = configuration().from_path;
    request.data_root = data_root;
    request.mode = mode;
    // While a dravinex-cli run or a watch of this home holds the lock, the job looks again
    // every second, and the window stays responsive.
    request.lock = LockWait::poll;
    extract_task_.start_with_result(
        [this, request = std::move(request)](background::JobContext& context) {
            owner_.attach(&context);
            ExtractResult result = job_.run(request);
            owner_.attach(nullptr);
            return result;
        },
        [this](const ExtractResult& result) { extraction_finished(result); });
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
    if (progress_) {
        progress_->busy = false;
        progress_->close();
        progress_.reset();
    }
    show_result(result);
    for (const RunNotice& notice : run_notices({result}))
        notifier_.show(notice);
    set_input_enabled(true);
    if (close_pending_) {
        close_when_done();
        return;
    }
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
