#pragma once
// `dravinex-cli export FILE [--form-version 0|2] --format csv|las [--separator ;] [-o OUT]`:
// loads one data file as `dump` does and writes it as CSV or LAS 2.0, to OUT or to standard
// output. OUT is replaced only once the whole export is written; a file that fails to load
// writes nothing. Each call uses its own model.

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
    std::optional<int> form_version;
    data_export::Format format = data_export::Format::csv;
    char separator = ',';
    std::string output; // empty: standard output
};

CLI::App* add_export_command(CLI::App& app, ExportOptions& options);

// Returns the exit status: 0, or 1 when the file could not be read or the output written.
int run_export(const ExportOptions& options, std::ostream& out, std::ostream& err);

} // namespace dravinex_cli
