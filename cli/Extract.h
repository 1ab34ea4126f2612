#pragma once
// `dravinex-cli extract`: every new package of the input folder into the data store, or one
// named package in single-package mode. The journal goes to standard output exactly as the
// window's journal would hold it; status, progress, each package's error and a closing
// summary line go to standard error. Exit status 0 when every package was handled, 1 when
// any failed (or another run held the home with --no-wait), 2 for a wrong command line: a
// --home, --from or --to that is no folder, or a PACKAGE that is no file, found before
// anything is created.

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
    bool no_wait = false;      // another run of the same home: exit 1 instead of waiting
    bool progress_bar = false; // draw a bar on `err` (set when it is a terminal)
};

CLI::App* add_extract_command(CLI::App& app, ExtractOptions& options);
int run_extract(const ExtractOptions& options, std::ostream& out, std::ostream& err);

} // namespace dravinex_cli
