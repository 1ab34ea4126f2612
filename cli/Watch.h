#pragma once
// `dravinex-cli watch`: unpacks packages as they arrive under the input folder, until SIGINT
// or SIGTERM (exit 0, after the package in hand is finished). Journals go to standard
// output, one per package; the watch's own course, status lines and errors to standard
// error. Exit status 1 when the watch cannot go on (a limit of the system reached). With
// --notify the desktop is told of new data and failed packages over the session bus.

#include "cli/Store.h"

#include <iosfwd>

namespace CLI {
class App;
}

namespace dravinex_cli {

struct WatchOptions {
    StoreOptions store;
    double settle_seconds = 2.0;
    bool notify = false; // desktop notifications of new data and failed packages
};

CLI::App* add_watch_command(CLI::App& app, WatchOptions& options);
int run_watch(const WatchOptions& options, std::ostream& out, std::ostream& err);

} // namespace dravinex_cli
