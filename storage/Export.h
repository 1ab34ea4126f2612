#pragma once
// Export of a loaded data file to CSV (for spreadsheets) and to LAS 2.0 (for well-log
// programs), used by `dravinex-cli export` and the log viewer.
//
// A parameter is described by its name, its unit (text1) and its short text (text2), as
// the station writes them. Both forms hold every record in file order: its time (local
// clock of the station, no time zone), its three depths and its values; a NaN, an infinity
// or a missing value is an empty CSV field or the LAS null value. Output is UTF-8 with CR LF
// line ends. Pure functions of the model apart from write_file; errors of write_file are
// lib::io::FileError naming the file.

#include "storage/Data_file.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class FileStorage;

namespace data_export {

enum class Format { csv, las };

struct Options {
    Format format = Format::csv;
    // CSV field separator: ',' or the ';' that spreadsheets in a Russian locale expect.
    char separator = ',';
    // LAS: the index curve, time for time files and depth for depth files.
    data_file::IndexKind index = data_file::IndexKind::time;
    // LAS ~Well WELL and FLD.
    std::string well;
    std::string area;
};

inline constexpr std::string_view las_null = "-999.25";

// Appends one CSV field, quoted as RFC 4180 asks when it holds the separator, a quote or a
// line break.
void append_csv_field(std::string& line, std::string_view field, char separator = ',');

// The parameters a model describes: only the first param_count entries, never beyond the array.
std::size_t valid_params(const FileStorage& model);

// The value columns of a model: its parameters, and more when a record holds extra values
// (a model filled by hand may), so that those values still get a column rather than vanish.
std::size_t value_columns(const FileStorage& model);

// The options a data file at `path` exports with: the index of its kind, and the well and
// area of the store's layout <area>/<well>/file (the names of its two folders).
Options options_for(const std::string& path, Format format);

// Receives the text in large consecutive pieces.
using Sink = std::function<void(std::string_view)>;

void write(const FileStorage& model, const Options& options, const Sink& sink);

// Writes the export to `path` through a temporary file in the same folder that replaces
// `path` only when complete, so a failure never leaves a half-written file under that name.
void write_file(const FileStorage& model, const Options& options, const std::string& path);

// --- pieces with rules of their own, open for tests -----------------------------------

// "2020-09-13T12:26:40": a time count as an ISO 8601 local date-time.
std::string iso_date_time(std::uint32_t time);

// A LAS mnemonic made of `text`: Cyrillic spelt in Latin letters, upper case, every other
// character but letters, digits and '_' as '_'; "CURVE" when nothing is left.
std::string las_mnemonic(std::string_view text);

// Mnemonics for the wanted texts, each made unique among `taken` and the earlier ones by a
// suffix "_2", "_3", ...; every result is added to `taken`.
std::vector<std::string> unique_mnemonics(const std::vector<std::string>& wanted, std::vector<std::string>& taken);

} // namespace data_export
