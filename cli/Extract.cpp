#include "cli/Extract.h"

#include "catalogue/Filedata.h"
#include "cli/Cli.h"
#include "cli/Output.h"
#include "extract/Extract_job.h"
#include "extract/Run_lock.h"
#include "lib/Fileworks.h"
#include "lib/Sys_utils.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace dravinex_cli {

namespace {

constexpr int bar_width = 40;

// The run's owner on a terminal: status lines and errors on standard error.
class ConsoleOwner : public ExtractOwner {
public:
    ConsoleOwner(std::ostream& err, bool bar) : err_(err), bar_(bar) {}

    void post_status(const std::string& text) override
    {
        clear_bar();
        err_ << printable(text) << '\n';
    }

    void post_progress(int percent) override
    {
        if (!bar_)
            return;
        const int filled = percent * bar_width / 100;
        err_ << '\r' << '[' << std::string(static_cast<std::size_t>(filled), '#')
             << std::string(static_cast<std::size_t>(bar_width - filled), ' ') << "] " << percent << '%' << std::flush;
        bar_shown_ = true;
    }

    void report_error(const std::string& caption, const std::string& message) override
    {
        clear_bar();
        err_ << lib_trim(caption) << ": " << without_blank_lines(message) << '\n';
    }

    void post_notice(const std::string& text) override
    {
        clear_bar();
        err_ << printable(text) << std::endl;
    }

    void finish() { clear_bar(); }

private:
    static std::string lib_trim(const std::string& text)
    {
        const auto first = text.find_first_not_of(' ');
        return first == std::string::npos ? std::string() : text.substr(first);
    }

    void clear_bar()
    {
        if (bar_shown_)
            err_ << '\n';
        bar_shown_ = false;
    }

    std::ostream& err_;
    bool bar_;
    bool bar_shown_ = false;
};

// What is wrong with a named package, as one line; "" when it is a file to unpack.
std::string check_package(const std::string& package)
{
    if (!lib::file_exists(package))
        return package + ": такого файла нет";
    if (lib::folder_exists(package))
        return package + ": это папка, а не пакет";
    return {};
}

int report_result(const ExtractResult& result, const std::string& run_lock, std::ostream& out, std::ostream& err)
{
    if (result.outcome == ExtractResult::Outcome::busy) {
        report(err, run_lock_text::busy + run_lock);
        return exit_failure;
    }
    for (const std::string& line : result.journal)
        out << line << '\n';
    out.flush();
    for (const std::string& error : result.errors)
        report(err, error);
    if (!result.ran())
        return exit_failure;
    // One line that tells a run where everything failed from a quiet one.
    err << summary_line(result) << '\n';
    return result.all_well() ? exit_ok : exit_failure;
}

} // namespace

CLI::App* add_extract_command(CLI::App& app, ExtractOptions& options)
{
    CLI::App* extract = app.add_subcommand("extract", "Распаковать новые пакеты в хранилище данных или один названный пакет");
    add_store_options(*extract, options.store, true);
    extract->add_option("PACKAGE", options.package, "Один пакет для распаковки (режим одного пакета)");
    extract->add_option("NAME", options.name, "Папка рядом с пакетом, куда лягут его данные (по умолчанию GTI_Data)");
    extract->add_flag("--no-wait", options.no_wait,
                      "Если идёт другая распаковка с той же папкой программы, выйти с кодом 1, а не ждать");
    return extract;
}

int run_extract(const ExtractOptions& options, std::ostream& out, std::ostream& err)
{
    // The command line is checked whole before anything is created or unpacked.
    const bool single = !options.package.empty();
    if (single && options.store.from) {
        report(err, "--from не действует для одного названного пакета");
        return exit_usage;
    }
    std::string problem = check_store_options(options.store);
    const std::string package = single ? lib::absolute_path(options.package) : std::string();
    if (problem.empty() && single)
        problem = check_package(package);
    if (problem.empty() && single && !is_destination_name(options.name))
        problem = "NAME — имя папки рядом с пакетом, а не путь: " + options.name;
    if (!problem.empty()) {
        report(err, problem);
        return exit_usage;
    }

    const StorePaths paths = resolve_store(options.store);
    std::string data_root = paths.to_path;
    // Without --to a named package's data go beside it, into NAME.
    if (single && !options.store.to)
        data_root = single_package_destination(package, options.name);

    FilesDataStorage cache;
    ConsoleOwner owner(err, options.progress_bar);
    ExtractJob job(extract_home(paths), cache, &owner);
    ExtractRequest request;
    request.package = package;
    request.from_path = paths.from_path;
    request.data_root = data_root;
    request.mode = single ? PackageMode::single : PackageMode::new_only;
    // Two runs of one home would share its temporary folder: the second waits.
    request.lock = options.no_wait ? LockWait::no_wait : LockWait::wait;
    const ExtractResult result = job.run(request);
    owner.finish();
    return report_result(result, paths.run_lock, out, err);
}

} // namespace dravinex_cli
