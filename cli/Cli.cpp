#include "cli/Cli.h"

#include "cli/Dump.h"
#include "cli/Export.h"
#include "cli/Extract.h"
#include "cli/Help.h"
#include "cli/Output.h"
#include "cli/Status.h"
#include "cli/Tree.h"
#include "cli/Verify.h"
#include "cli/Watch.h"
#include "extract/Extractthread.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#ifndef DRAVINEX_VERSION
#error "DRAVINEX_VERSION must name the four-part version"
#endif

namespace dravinex_cli {

namespace {

bool is_subcommand(CLI::App& app, const std::string& word)
{
    const std::vector<CLI::App*> commands = app.get_subcommands({});
    return std::any_of(commands.begin(), commands.end(), [&](CLI::App* command) { return command->check_name(word); });
}

// "dump, extract, tree и cache": the names in the order they were added.
std::string subcommand_names(CLI::App& app)
{
    const std::vector<CLI::App*> commands = app.get_subcommands({});
    std::string names;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (i > 0)
            names += i + 1 == commands.size() ? " и " : ", ";
        names += commands[i]->get_name();
    }
    return names;
}

// CLI11's own words in the help and the usage errors, in Russian like every other text;
// the subcommand and option names stay as they are. Set before the subcommands are added,
// which take the formatter, the option group and the help flag from the app.
void speak_russian(CLI::App& app)
{
    app.formatter(std::make_shared<HelpFormatter>());
    app.option_defaults()->group("Параметры");
    app.set_help_flag("-h,--help", "Показать эту справку и выйти");
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return std::string(program_name) + ": " + printable(usage_error_text(e))
               + "\nЗапустите с --help, чтобы узнать больше.\n";
    });
}

} // namespace

int run_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progress_bar)
{
    CLI::App app{"Dravinex без окон: файлы данных и хранилище данных из командной строки.",
                 std::string(program_name)};
    speak_russian(app);
    app.set_version_flag("--version", DRAVINEX_VERSION, "Показать версию и выйти");
    app.require_subcommand(1);

    DumpOptions dump_options;
    CLI::App* dump = add_dump_command(app, dump_options);
    ExportOptions export_options;
    CLI::App* export_command = add_export_command(app, export_options);
    ExtractOptions extract_options;
    extract_options.progress_bar = progress_bar;
    CLI::App* extract = add_extract_command(app, extract_options);
    StoreOptions tree_options;
    CLI::App* tree = add_tree_command(app, tree_options);
    CacheOptions cache_options;
    CLI::App* cache = add_cache_command(app, cache_options);
    WatchOptions watch_options;
    CLI::App* watch = add_watch_command(app, watch_options);
    VerifyOptions verify_options;
    CLI::App* verify = add_verify_command(app, verify_options);
    StatusOptions status_options;
    CLI::App* status = add_status_command(app, status_options);

    // A subcommand's own options keep CLI11's group name whatever the app's defaults say.
    for (CLI::App* command : app.get_subcommands({})) {
        command->group("Подкоманды");
        for (CLI::Option* option : command->get_options())
            option->group("Параметры");
    }

    // CLI11 would take an unknown word for a stray argument and ask for a subcommand.
    if (argc > 1 && argv[1][0] != '-' && !is_subcommand(app, argv[1])) {
        err << program_name << ": неизвестная подкоманда \"" << printable(argv[1]) << "\"; есть "
            << subcommand_names(app) << " (--help объясняет их)\n";
        return exit_usage;
    }

    try {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& e) {
        // Help and version are "errors" with status 0; everything else is a usage error,
        // whatever number CLI11 gives it.
        const int status = app.exit(e, out, err);
        return status == 0 ? exit_ok : exit_usage;
    }

    try {
        if (dump->parsed())
            return run_dump(dump_options, out, err);
        if (export_command->parsed())
            return run_export(export_options, out, err);
        if (extract->parsed())
            return run_extract(extract_options, out, err);
        if (tree->parsed())
            return run_tree(tree_options, out, err);
        if (cache->parsed())
            return run_cache(cache_options, out, err);
        if (watch->parsed())
            return run_watch(watch_options, out, err);
        if (verify->parsed())
            return run_verify(verify_options, out, err);
        if (status->parsed())
            return run_status(status_options, out, err);
    }
    catch (const std::exception& e) {
        // The subcommands report their own errors; this catches what they did not expect,
        // such as running out of memory while printing.
        out.flush();
        report(err, lib::io::describe_error(e));
        return exit_failure;
    }
    return exit_usage;
}

} // namespace dravinex_cli
