#pragma once
// The program's two folder settings and the settings file that keeps them.
//
// from_path is where incoming packages wait, to_path the root of the unpacked data (areas
// and wells). Every user appends names directly to them, so both are meant to end with '/'.
// They live in section "options" of dravinex2.ini beside the window layout, whose lines a
// save keeps.
//
// Errors: load() of a missing file keeps the current values; a file that exists but cannot
// be read, and a save that cannot write, raise lib::io::FileError. A path with a line break
// cannot be kept in the file: save() refuses it with std::invalid_argument before writing.
// The program-wide object is changed only on the main thread while no extraction runs; the
// extraction thread only reads it.

#include <string>
#include <string_view>

namespace configuration_keys {
inline constexpr std::string_view settings_file_name = "dravinex2.ini";
inline constexpr std::string_view options_section = "options";
inline constexpr std::string_view to_path = "to_path";
inline constexpr std::string_view from_path = "from_path";
inline constexpr std::string_view silence_hours = "silence_hours";
inline constexpr std::string_view time_zone = "time_zone";
} // namespace configuration_keys

inline constexpr int default_silence_hours = 6;
inline constexpr int min_silence_hours = 1;
inline constexpr int max_silence_hours = 8760;

struct CONFIGURATION {
    std::string to_path;   // unpacked data store
    std::string from_path; // incoming packages
    // A well whose newest record is older than this many hours is marked as silent in the
    // overview of the store (1 to 8760).
    int silence_hours = default_silence_hours;
    // The time zone of the station's clock that WITSML exports state ("+05:00"); empty for
    // the zone of this machine.
    std::string time_zone;

    CONFIGURATION() { set_defaults(); }

    // $HOME/gtidata/ and $HOME/gti/ (the account's home folder when HOME is not set).
    void set_defaults();
    // Reads both keys, each with the current value as default, as normalised folders: a
    // relative folder is taken against the settings file's folder.
    void load(const std::string& ini_path);
    // Writes to_path, from_path, silence_hours and a time_zone that is set, keeping every
    // other line of the file.
    void save(const std::string& ini_path) const;
};

// A folder setting as every user of it needs it, whatever its source (the settings file, the
// dialog, the command line, the defaults): absolute (a relative one taken against `base`)
// and ending with '/', so that names can be appended to it. An empty setting stays empty.
std::string normalised_folder(const std::string& folder, const std::string& base);

// The one instance, made with its defaults on first use.
CONFIGURATION& configuration();
