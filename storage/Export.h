#pragma once
// Export of a loaded data file to CSV (for spreadsheets), to LAS 2.0 (for well-log
// programs) and to WITSML 1.4.1.1 (for the operators' real-time servers), used by
// `dravinex-cli export` and the log viewer.
//
// A parameter is described by its name, its unit (text1) and its short text (text2), as
// the station writes them. The three forms share one table of columns: the record's time
// (local clock of the station), its three depths and the values. CSV and LAS hold the
// records in file order; a NaN, an infinity or a missing value is an empty CSV field or the
// null value of LAS and WITSML. CSV and LAS are UTF-8 with CR LF line ends, WITSML is UTF-8
// XML with LF. A Range narrows any of them to the records within it. Everything is written
// as it goes, row by row, whatever the size of the file. Pure functions of the model apart
// from write_file and the machine's time zone; errors of write_file are lib::io::FileError
// naming the file.

#include "storage/Data_file.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class FileStorage;

namespace data_export {

enum class Format { csv, las, witsml };

// The records an export takes: those whose time and first depth lie within the bounds given
// (both ends included). A record whose first depth is not a number fails a depth bound.
struct Range {
    std::optional<std::uint32_t> time_from;
    std::optional<std::uint32_t> time_to;
    std::optional<float> depth_from;
    std::optional<float> depth_to;

    bool empty() const { return !time_from && !time_to && !depth_from && !depth_to; }
};

struct Options {
    Format format = Format::csv;
    // CSV field separator: ',' or the ';' that spreadsheets in a Russian locale expect.
    char separator = ',';
    // LAS: the index curve, time for time files and depth for depth files.
    data_file::IndexKind index = data_file::IndexKind::time;
    // LAS ~Well WELL and FLD; WITSML nameWell, field and the uids.
    std::string well;
    std::string area;
    Range range;
    // WITSML: the log's name (the data file's name) and the station's name for sourceName.
    std::string file_name;
    std::string station;
    // WITSML: minutes east of UTC of the station's clock; none for the machine's zone at the
    // time of the first record.
    std::optional<int> utc_offset_minutes;
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

// The options a data file at `path` exports with: the index of its kind, its name, and the
// well and area of the store's layout <area>/<well>/file (the names of its two folders).
Options options_for(const std::string& path, Format format);

// Receives the text in large consecutive pieces.
using Sink = std::function<void(std::string_view)>;

void write(const FileStorage& model, const Options& options, const Sink& sink);

// Writes the export to `path` through a temporary file in the same folder that replaces
// `path` only when complete, so a failure never leaves a half-written file under that name.
void write_file(const FileStorage& model, const Options& options, const std::string& path);

// The same for any text: `produce` hands its pieces to the sink it is given.
void write_text_file(const std::string& path, const std::function<void(const Sink&)>& produce);

// What an export of the model cannot carry over as it is, one sentence each: station units
// that WITSML knows no symbol for (written as they are) and records a WITSML log leaves out
// for want of an index value. Empty for CSV and LAS.
std::vector<std::string> warnings(const FileStorage& model, const Options& options);

// --- WITSML ---------------------------------------------------------------------------

inline constexpr std::string_view witsml_namespace = "http://www.witsml.org/schemas/1series";
inline constexpr std::string_view witsml_version = "1.4.1.1";

// The Energistics symbol of a station unit text (Russian or Latin, letter case and blanks
// aside where they do not change the unit); none when the table has no symbol for it.
std::optional<std::string_view> witsml_unit(std::string_view station_unit);

// "+05:00", "-03:30", "+00:00".
std::string utc_offset_text(int minutes);
// The minutes of "+05:00", "-3:30", "+0500", "+5", "Z" or "UTC"; none for anything else
// or beyond -12:00..+14:00.
std::optional<int> parse_utc_offset(std::string_view text);
// The offset of the machine's zone, in minutes, at a time of the station's clock.
int machine_utc_offset_minutes(std::uint32_t station_time);

// Stable uids of the WITSML objects of a well, made of the area and the well names alone,
// so that a later export of the same well updates the same objects on a server:
// "dvx-well-<hash>", "dvx-wellbore-<hash>", "dvx-log-<hash of the file name too>".
std::string witsml_well_uid(std::string_view area, std::string_view well);
std::string witsml_wellbore_uid(std::string_view area, std::string_view well);
std::string witsml_log_uid(std::string_view area, std::string_view well, std::string_view file_name);

// The well as inpgti.ini names it.
struct WellIdentity {
    std::string area;
    std::string well;
    std::string station;
};

// The well of a store folder <area>/<well>/ (ending with '/'): area and well are the names
// of the two folders, as the uids of a file's export take them; the station is the one the
// well's inpgti.ini names ([скважина] станция, else [станция] название or номер), empty
// when it names none or cannot be read.
WellIdentity well_identity(const std::string& well_folder);

// The `<wells>` and `<wellbores>` documents of a well: one well (named after the well, its
// field the area, its time zone the offset), one wellbore of that well.
void write_witsml_well(const WellIdentity& identity, int utc_offset_minutes, const Sink& sink);
void write_witsml_wellbore(const WellIdentity& identity, const Sink& sink);

// --- pieces with rules of their own, open for tests -----------------------------------

// "2020-09-13T12:26:40": a time count as an ISO 8601 local date-time.
std::string iso_date_time(std::uint32_t time);

// "2020-09-13T12:26:40": a date-time of the station's clock as a count; none for a text of
// another form or a date before 1970 or after the count's range.
std::optional<std::uint32_t> parse_iso_date_time(std::string_view text);

// A LAS mnemonic made of `text`: Cyrillic spelt in Latin letters, upper case, every other
// character but letters, digits and '_' as '_'; "CURVE" when nothing is left.
std::string las_mnemonic(std::string_view text);

// Mnemonics for the wanted texts, each made unique among `taken` and the earlier ones by a
// suffix "_2", "_3", ...; every result is added to `taken`. A mnemonic is at most
// max_mnemonic_length characters (WITSML's limit), the suffix included.
inline constexpr std::size_t max_mnemonic_length = 32;
std::vector<std::string> unique_mnemonics(const std::vector<std::string>& wanted, std::vector<std::string>& taken);

} // namespace data_export
