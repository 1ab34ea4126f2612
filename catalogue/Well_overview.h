#pragma once
// The overview of the store: one row per well with the newest record of its time and depth
// files, the depth reached, when its last package arrived and how many came, and whether it
// has been silent for longer than a limit.
//
// It costs about the listing of the store, not the reading of the wells: a well file is
// stat'ed, and read only where nothing known matches it. What is known comes from the
// merge index of the home (its newest record's time and depth, trusted while the file's
// stamp matches and its whole sectors end at its end: the file is not even opened then),
// and from the overview's own notes (WellOverview.bin beside the merge index: per well file
// its stamp, newest time, depth, where the walk of its sectors stopped and a check of the
// bytes before that). A real-time file that only grew is walked from
// there; a classic file is read at its last 145-byte record (storage/Realtime_end does the
// reading). Nothing is written into the store: another machine's home keeps notes of its own.
//
// Arrivals (WellArrivals.bin, also beside the merge index) are written by this home's
// extraction runs, one record per package appended to a snapshot of every well's count and
// last arrival (Well_overview_arrivals.cpp).
// A well that no run of this home has fed shows the newest modification time of its data
// files as its last arrival and no count.
//
// Runs on the caller's thread; the window calls it off the GUI thread. Not for two callers
// of one home at once (the notes file is replaced whole, the last writer wins, which costs
// only a rescan).

#include "settings/Configuration.h"
#include "settings/Configuration_folders.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace catalogue {

namespace overview_files {
inline constexpr const char* notes = program_files::overview_notes;
inline constexpr const char* arrivals = program_files::arrivals;
} // namespace overview_files

struct WellOverviewRow {
    std::string area;
    std::string well;
    std::string folder; // the well's folder, ending with '/'

    // Record times on the station's clock (seconds since 1970, no zone); 0 = no such record.
    std::uint32_t newest_time_file = 0;
    std::uint32_t newest_depth_file = 0;
    // Bottom depth (the first depth) of the well's newest record, metres.
    std::optional<float> depth;
    // When the last package reached the well (the local clock), 0 = unknown.
    std::uint32_t last_arrival = 0;
    // Packages that this home's runs placed into the well; nullopt when none was recorded.
    std::optional<std::uint32_t> packages;
    // Seconds from the newest record to now (0 for a record from the future); nullopt for a
    // well without any record.
    std::optional<std::uint32_t> age;
    // Older than the limit, or without any record: a silent station.
    bool old = false;
    // Data files whose newest record could not be found (unreadable, damaged beyond reading).
    std::vector<std::string> unreadable;

    std::uint32_t newest() const { return newest_time_file > newest_depth_file ? newest_time_file : newest_depth_file; }
};

struct OverviewRequest {
    std::string data_root;   // the store, ending with '/'
    std::string state_folder; // the program's state folder (merge index, notes, arrivals), ending with '/'; "" keeps no notes
    int older_than_hours = default_silence_hours;
    std::uint32_t now = 0;   // the local clock as a count; 0 reads it
};

// The rows, oldest newest-record first (wells without records first of all), then by area
// and well. Never throws for what it finds in the store; a notes file that cannot be
// written is passed over (the next call reads a little more).
std::vector<WellOverviewRow> build_overview(const OverviewRequest& request);

// How many packages this home's runs placed into a well, and when the last one did.
struct WellArrivals {
    std::uint32_t count = 0;
    std::uint32_t last = 0; // local clock count

    bool operator==(const WellArrivals&) const = default;
};

// Notes that a package reached the well folder `well_folder` at `when` (local clock count).
// Throws lib::io::FileError when the arrivals file cannot be written.
void record_arrival(const std::string& arrivals_path, const std::string& well_folder, std::uint32_t when);
// The arrivals recorded in the file, by well folder without its final slash; none for a
// missing or damaged file ("" reads nothing).
std::map<std::string, WellArrivals> read_arrivals(const std::string& arrivals_path);

// ---- the overview's texts, one table for the command line and the window ----------------

// "12,5 ч" (up to two days), "3,2 сут" beyond, and "нет данных" for a well without records.
std::string age_text(const WellOverviewRow& row);
// The depth with one decimal and a comma ("1234,5"), "" when unknown.
std::string depth_text(const WellOverviewRow& row);
// A record time or arrival as the journal writes it, without seconds; "" for 0.
std::string moment_text(std::uint32_t time);
// The mark column: "молчит" for an old well, "" otherwise.
std::string mark_text(const WellOverviewRow& row);

namespace overview_text {
inline constexpr const char* silent = "молчит";
inline constexpr const char* no_data = "нет данных";
} // namespace overview_text

enum class OverviewColumn { area, well, newest_time, newest_depth, depth, last_package, packages, age, mark };
inline constexpr int overview_column_count = 9;

struct OverviewColumnLook {
    // Two lines where a title breaks; a one-line head joins them with a blank.
    const char* title;
    bool right_aligned; // a number, read down the column
};

inline constexpr OverviewColumnLook overview_columns[overview_column_count] = {
    {"Площадь", false},
    {"Скважина", false},
    {"Посл. запись\n(время)", false},
    {"Посл. запись\n(глубина)", false},
    {"Глубина, м", true},
    {"Последний\nпакет", false},
    {"Пакетов", true},
    {"Возраст", true},
    {"Отметка", false},
};

// A column's title on one line: "Посл. запись (время)".
std::string one_line_title(OverviewColumn column);
// The text of one cell of a well's row; names as they are in the store.
std::string cell_text(const WellOverviewRow& row, OverviewColumn column);
// "Скважин: 12, молчат более 6 ч: 2".
std::string summary_text(const std::vector<WellOverviewRow>& rows, int hours);

} // namespace catalogue
