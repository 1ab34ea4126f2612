#pragma once
// `dravinex-cli dump FILE [--format text|csv|json] [--form-version 0|2]`: loads one data file
// into a FileStorage and prints its parameters, records, text values and the warnings of the
// load.
//
// run_dump writes the listing to `out` only after the whole file has loaded, so a file that
// fails to load prints nothing there; the reason goes to `err` as one line. Nothing here
// keeps state between calls; each call uses its own model.

#include <iosfwd>
#include <optional>
#include <string>

class FileStorage;

namespace CLI {
class App;
}

namespace dravinex_cli {

enum class DumpFormat { text, csv, json };

struct DumpOptions {
    std::string file;
    DumpFormat format = DumpFormat::text;
    // Set for a compressed column-file set: `file` is then its base path.
    std::optional<int> form_version;
};

// Reads what `options` names into `model`: a column-file set when a form version is given,
// a single compressed stream for *.compr1 and *.newcompr1, else a classic or real-time file.
void load_for_dump(FileStorage& model, const DumpOptions& options);

// Declares the subcommand "dump" on `app`; parsing fills `options`.
CLI::App* add_dump_command(CLI::App& app, DumpOptions& options);

// Loads options.file and prints it; returns the exit status (0, or 1 when the file could
// not be read or the output could not be written).
int run_dump(const DumpOptions& options, std::ostream& out, std::ostream& err);

// The listing of a loaded model in one of the forms.
void write_dump(const FileStorage& model, DumpFormat format, std::ostream& out);

} // namespace dravinex_cli
