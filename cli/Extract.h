#pragma once
// `dravinex-cli extract`: every new package of the input folder into the data store, or one
// named package in single-package mode. The journal goes to standard output exactly as the
// window's journal would hold it; status, progress and each package's error go to standard
// error. Exit status 0 when every package was handled, 1 when any failed.

#include "cli/Store.h"

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace dravinex_cli {

struct ExtractOptions {
    StoreOptions store;
    std::string package; // empty: everything new in the input folder
    std::string name;
    bool progress_bar = false; // draw a bar on `err` (set when it is a terminal)
};

CLI::App* add_extract_command(CLI::App& app, ExtractOptions& options);
int run_extract(const ExtractOptions& options, std::ostream& out, std::ostream& err);

} // namespace dravinex_cli
