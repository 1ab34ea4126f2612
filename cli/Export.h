#pragma once
// `dravinex-cli export FILE [--form-version 0|2] --format csv|las|witsml [--separator ;] [-o OUT]`:
// loads one data file as `dump` does and writes it as CSV, LAS 2.0 or WITSML 1.4.1.1, to OUT
// or to standard output. `export --well AREA/WELL [--to STORE] --format witsml -o FOLDER`
// writes the well, its wellbore and one log per data file of a well of the store into FOLDER.
// --from-time/--to-time and --from-depth/--to-depth narrow either to the records within.
// OUT is replaced only once the whole export is written; a file that fails to load writes
// nothing. Each call uses its own model.

#include "cli/Store.h"
#include "storage/Export.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace dravinex_cli {

struct ExportOptions {
    std::string file;
    std::string well; // AREA/WELL of the store instead of FILE
    std::optional<int> form_version;
    data_export::Format format = data_export::Format::csv;
    char separator = ',';
    std::string output; // empty: standard output
    data_export::Range range;
    std::optional<int> utc_offset_minutes; // --time-zone, else the settings, else the machine's
    StoreOptions store;
};

CLI::App* add_export_command(CLI::App& app, ExportOptions& options);

// Returns the exit status: 0, 1 when a file could not be read or the output written, 2 for
// a command line the parser lets through but that asks for nothing to do.
int run_export(const ExportOptions& options, std::ostream& out, std::ostream& err);

} // namespace dravinex_cli
