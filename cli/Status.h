#pragma once
// `dravinex-cli status`: the overview of the store (catalogue/Well_overview.h), one row per
// well, oldest first; exit status 1 when any well is silent for longer than the limit, so
// that cron or a monitoring system can raise the alarm.

#include "cli/Store.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace dravinex_cli {

struct StatusOptions {
    StoreOptions store;
    std::string format = "text";   // "text" or "json"
    std::optional<int> older_than; // hours; the settings file's silence_hours without it
};

CLI::App* add_status_command(CLI::App& app, StatusOptions& options);
// 0 when every well is newer than the limit, 1 when any is older (or has no record, or the
// output failed), 2 on a wrong command line.
int run_status(const StatusOptions& options, std::ostream& out, std::ostream& err);

} // namespace dravinex_cli
