#include "cli/Verify.h"

#include "catalogue/Store_check.h"
#include "cli/Cli.h"
#include "cli/Output.h"
#include "cli/Tree.h"
#include "extract/Run_lock.h"
#include "lib/Sys_utils.h"
#include "storage/Merge_index.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

namespace dravinex_cli {

CLI::App* add_verify_command(CLI::App& app, VerifyOptions& options)
{
    CLI::App* verify = app.add_subcommand(
        "verify", "Проверить хранилище: прочитать каждый файл данных и сообщить о повреждениях, обрезанных "
                  "концах, устаревшем индексе слияния, остатках прерванных распаковок и файлах вне дерева");
    add_store_options(*verify, options.store, false);
    verify->add_flag("--repair", options.repair,
                     "Отрезать обрезанные последние секторы и удалить временные файлы прерванных записей; "
                     "больше ничего не менять");
    return verify;
}

int run_verify(const VerifyOptions& options, std::ostream& out, std::ostream& err)
{
    if (!store_options_usable(options.store, err))
        return exit_usage;
    const StorePaths paths = resolve_store(options.store);
    // A repair cuts files and removes leftovers: never under a run of this home, which may
    // be appending. Each well file's own lock keeps other machines' runs out of the cut.
    std::unique_ptr<RunLock> lock;
    if (options.repair && !(lock = wait_for_run_lock(paths, err)))
        return exit_failure;
    const catalogue::StoreReport report =
        catalogue::check_store(paths.to_path, paths.state + storage::MergeIndex::file_name, options.repair);
    for (const catalogue::StoreFinding& finding : report.findings)
        out << printable(catalogue::describe_finding(finding)) << '\n';
    out << "Проверено файлов данных: " << report.data_files << ", найдено: " << report.findings.size() << '\n';
    if (!out.flush()) {
        err << program_name << ": не удалось записать вывод\n";
        return exit_failure;
    }
    return report.findings.empty() ? exit_ok : exit_failure;
}

} // namespace dravinex_cli
