#include "cli/Extract.h"

#include "catalogue/Filedata.h"
#include "cli/Cli.h"
#include "cli/Output.h"
#include "extract/Extractthread.h"
#include "extract/Run_lock.h"
#include "lib/Fileworks.h"
#include "lib/Sys_utils.h"

#include <CLI/CLI.hpp>

#include <optional>
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
        err_ << lib_trim(caption) << ": ";
        // The message box's blank line becomes one line break on a terminal.
        std::string text = message;
        for (std::size_t at; (at = text.find("\n\n")) != std::string::npos;)
            text.replace(at, 2, "\n");
        err_ << text << '\n';
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

void write_summary(const TExtractThread& run, std::ostream& err)
{
    err << "Пакетов найдено: " << run.found_packages() << ", распаковано: " << run.unpacked_packages()
        << ", пропущено как уже распакованные: " << run.skipped_packages()
        << ", с ошибками: " << run.failed_packages() << '\n';
}

} // namespace

CLI::App* add_extract_command(CLI::App& app, ExtractOptions& options)
{
    CLI::App* extract = app.add_subcommand("extract", "Unpack new packages into the data store, or one named package");
    add_store_options(*extract, options.store, true);
    extract->add_option("PACKAGE", options.package, "One package to unpack in single-package mode");
    extract->add_option("NAME", options.name, "Folder beside the package that receives its data (default GTI_Data)");
    extract->add_flag("--no-wait", options.no_wait,
                      "When another run of the same home is going on, exit with status 1 instead of waiting");
    return extract;
}

int run_extract(const ExtractOptions& options, std::ostream& out, std::ostream& err)
{
    // The command line is checked whole before anything is created or unpacked.
    const bool single = !options.package.empty();
    if (single && options.store.from) {
        err << program_name << ": --from не действует для одного названного пакета\n";
        return exit_usage;
    }
    std::string problem = check_store_options(options.store);
    const std::string package = single ? lib::absolute_path(options.package) : std::string();
    if (problem.empty() && single)
        problem = check_package(package);
    if (!problem.empty()) {
        err << program_name << ": " << printable(problem) << '\n';
        return exit_usage;
    }

    const StorePaths paths = resolve_store(options.store);
    std::string data_root = paths.to_path;
    // Without --to a named package's data go beside it, into NAME.
    if (single && !options.store.to)
        data_root = single_package_destination(package, options.name);

    // Two runs of one home would share its temporary folder: the second waits.
    std::optional<RunLock> lock;
    try {
        lock.emplace(paths.run_lock, !options.no_wait,
                     [&] { err << run_lock_text::waiting << printable(paths.run_lock) << std::endl; });
    }
    catch (const std::exception& error) {
        err << program_name << ": " << printable(describe_error(error)) << '\n';
        return exit_failure;
    }
    if (!lock->held()) {
        err << program_name << ": " << run_lock_text::busy << printable(paths.run_lock) << '\n';
        return exit_failure;
    }

    FilesDataStorage cache;
    cache.load(paths.cache);
    ConsoleOwner owner(err, options.progress_bar);
    TExtractThread run(true, single, data_root, package, &cache, &owner, paths.temp_dir, paths.from_path);
    run.Execute();
    owner.finish();
    for (const std::string& line : run.journal())
        out << line << '\n';
    out.flush();

    int status = run.failed_packages() > 0 ? exit_failure : exit_ok;
    if (!single) {
        try {
            cache.save(paths.cache);
        }
        catch (const std::exception& error) {
            err << program_name << ": " << describe_error(error) << '\n';
            status = exit_failure;
        }
    }
    // One line that tells a run where everything failed from a quiet one.
    write_summary(run, err);
    return status;
}

} // namespace dravinex_cli
