#include "cli/Watch.h"

#include "cli/Cli.h"
#include "cli/Output.h"
#include "extract/Extractthread.h"
#include "extract/Package_watch.h"
#include "extract/Run_notice.h"
#include "platform/Memory.h"
#include "platform/Notifications.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <filesystem>
#include <ostream>

namespace dravinex_cli {

namespace {

namespace watch_notice_text {
constexpr const char* not_shown = "уведомление не показано (дальше без этих сообщений): ";
} // namespace watch_notice_text

// Everything a long-running watch has to say, line by line and flushed at once, so that a
// service log shows it as it happens.
class WatchConsole : public ExtractOwner, public WatchReporter {
public:
    WatchConsole(std::ostream& out, std::ostream& err, bool notify) : out_(out), err_(err), notify_(notify) {}

    void post_status(const std::string& text) override { err_ << printable(text) << std::endl; }
    void post_progress(int) override {}
    void report_error(const std::string& /*caption*/, const std::string& message) override
    {
        err_ << program_name << ": " << without_blank_lines(message) << std::endl;
    }

    void journal(const std::vector<std::string>& lines) override
    {
        for (const std::string& line : lines)
            out_ << line << '\n';
        out_.flush();
    }
    void notice(const std::string& text) override { err_ << program_name << ": " << text << std::endl; }
    void error(const std::string& text) override { err_ << program_name << ": " << text << std::endl; }

    void runs_done(const std::vector<ExtractResult>& results) override
    {
        if (!notify_)
            return;
        for (const RunNotice& notice : run_notices(results)) {
            const std::string why = platform::send_desktop_notification(desktop_notification(notice));
            // Said once: a desktop without the service would otherwise fill the log. The
            // journal holds everything the notification would have said.
            if (!why.empty() && !told_not_shown_)
                err_ << program_name << ": " << watch_notice_text::not_shown << why << std::endl;
            told_not_shown_ = told_not_shown_ || !why.empty();
        }
    }

private:
    std::ostream& out_;
    std::ostream& err_;
    bool notify_ = false;
    bool told_not_shown_ = false;
};

} // namespace

CLI::App* add_watch_command(CLI::App& app, WatchOptions& options)
{
    CLI::App* watch = app.add_subcommand("watch", "Распаковывать пакеты по мере их появления во входной папке, пока не остановят");
    add_store_options(*watch, options.store, true);
    watch->add_option("--settle", options.settle_seconds,
                      "Сколько секунд целый пакет должен оставаться неизменным, прежде чем его взять (по умолчанию 2)")
        ->check(CLI::Range(0.0, 86400.0));
    watch->add_flag("--notify", options.notify,
                    "Сообщать рабочему столу о новых данных и пакетах с ошибками (служба уведомлений через D-Bus)");
    return watch;
}

int run_watch(const WatchOptions& options, std::ostream& out, std::ostream& err)
{
    // First, before the runs start threads or the archiver: they inherit the blocked
    // signals, so a Ctrl+C or a service stop never cuts a package short.
    platform::StopRequest stop;
    if (!stop.catch_signals()) {
        err << program_name << ": не удалось перехватить SIGINT и SIGTERM\n";
        return exit_failure;
    }
    const StorePaths paths = resolve_store(options.store);
    // A home named for a service may be new; the watch keeps its cache and temporary folder
    // there for as long as it runs.
    std::error_code ignored;
    std::filesystem::create_directories(paths.home, ignored);
    std::filesystem::create_directories(paths.state, ignored);
    WatchSettings settings;
    settings.from_path = paths.from_path;
    settings.to_path = paths.to_path;
    settings.home = extract_home(paths);
    settings.settle = std::chrono::milliseconds(std::llround(options.settle_seconds * 1000.0));
    WatchConsole console(out, err, options.notify);
    // A watch runs for months: each package's merge memory must go back, not stay as the
    // high-water mark of the largest well file ever merged.
    platform::keep_heap_small();
    PackageWatcher watcher(settings, console, console);
    return watcher.run(stop) == 0 ? exit_ok : exit_failure;
}

} // namespace dravinex_cli
