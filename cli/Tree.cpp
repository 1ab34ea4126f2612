#include "cli/Tree.h"

#include "catalogue/Filedata.h"
#include "catalogue/Treeclasses.h"
#include "cli/Cli.h"
#include "cli/Output.h"
#include "extract/Extractthread.h"
#include "extract/Run_lock.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <ostream>
#include <vector>

namespace dravinex_cli {

namespace {

// Collects the tree in the order it is scanned, with each item's depth.
class ListingSink : public TreeSink {
public:
    struct Item {
        int depth;
        std::string caption;
        TREE_NODE node;
    };

    Handle add_child(Handle parent, const std::string& caption, const TREE_NODE& node) override
    {
        const int depth = parent == 0 ? 0 : items_[parent - 1].depth + 1;
        items_.push_back({depth, caption, node});
        return items_.size(); // handles are 1-based; 0 is "no parent"
    }

    const std::vector<Item>& items() const { return items_; }

private:
    std::vector<Item> items_;
};

void write_well_files(const TREE_NODE& node, int depth, std::ostream& out)
{
    std::vector<PORE_FILES> rows;
    list_well_files(node, rows);
    const std::string indent(static_cast<std::size_t>(depth + 1) * 2, ' ');
    for (const PORE_FILES& row : rows) {
        std::string line = indent;
        append_padded(line, row.run_number < 0 ? "" : std::to_string(row.run_number), 6);
        append_padded(line, printable(row.file_name), 24);
        line += row.caption;
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << '\n';
    }
}

} // namespace

CLI::App* add_tree_command(CLI::App& app, StoreOptions& options)
{
    CLI::App* tree = app.add_subcommand("tree", "Показать хранилище данных: площади, скважины и файлы каждой скважины");
    add_store_options(*tree, options, false);
    return tree;
}

// A folder option that is no folder is a wrong command line.
bool store_options_usable(const StoreOptions& options, std::ostream& err)
{
    const std::string problem = check_store_options(options);
    if (!problem.empty())
        report(err, problem);
    return problem.empty();
}

int run_tree(const StoreOptions& options, std::ostream& out, std::ostream& err)
{
    if (!store_options_usable(options, err))
        return exit_usage;
    const StorePaths paths = resolve_store(options);
    ListingSink sink;
    add_data_tree(sink, 0, paths.to_path);
    for (const ListingSink::Item& item : sink.items()) {
        out << std::string(static_cast<std::size_t>(item.depth) * 2, ' ') << printable(item.caption) << '\n';
        if (item.node.kind == node_well)
            write_well_files(item.node, item.depth, out);
    }
    return finish_output(out, err);
}

CLI::App* add_cache_command(CLI::App& app, CacheOptions& options)
{
    CLI::App* cache = app.add_subcommand("cache", "Показать или очистить кэш распакованных пакетов");
    cache->add_option("--home", options.store.home, "Папка TemporaryFileData.bin");
    cache->add_option("ACTION", options.action, "list (показать) или clear (очистить)")->required()->check(CLI::IsMember({"list", "clear"}));
    return cache;
}

int run_cache(const CacheOptions& options, std::ostream& out, std::ostream& err)
{
    if (!store_options_usable(options.store, err))
        return exit_usage;
    const StorePaths paths = resolve_store(options.store);
    FilesDataStorage cache;
    if (options.action == "clear") {
        // A run going on would save its cache over the cleared one at its end: wait for it.
        const std::unique_ptr<RunLock> lock = wait_for_run_lock(paths, err);
        if (!lock)
            return exit_failure;
        // As the window does: the file goes, and the emptied cache is what remains.
        std::remove(paths.cache.c_str());
        cache.load(paths.cache);
        return exit_ok;
    }
    cache.load(paths.cache);
    for (const auto& [path, data] : cache.entries())
        out << data.size << '\t' << printable(path) << '\n';
    return finish_output(out, err);
}

} // namespace dravinex_cli
