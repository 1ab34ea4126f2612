#pragma once
// `dravinex-cli tree`: the data store as the window's tree shows it, with each well's files
// (run number, name, kind caption). `dravinex-cli cache list|clear`: the package cache.

#include "cli/Store.h"

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace dravinex_cli {

// False, after one line on `err`, when --home or --to names no folder.
bool store_options_usable(const StoreOptions& options, std::ostream& err);

CLI::App* add_tree_command(CLI::App& app, StoreOptions& options);
int run_tree(const StoreOptions& options, std::ostream& out, std::ostream& err);

struct CacheOptions {
    StoreOptions store;
    std::string action; // "list" or "clear"
};

CLI::App* add_cache_command(CLI::App& app, CacheOptions& options);
int run_cache(const CacheOptions& options, std::ostream& out, std::ostream& err);

} // namespace dravinex_cli
