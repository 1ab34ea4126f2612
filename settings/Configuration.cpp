#include "settings/Configuration.h"

#include "settings/Configuration_folders.h"
#include "lib/Profile.h"
#include "lib/Strworks.h"
#include "lib/Sys_utils.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace {

// An INI line ends at a line break, so a value holding one would spill into lines of its own
// and could even start a section.
void check_storable(std::string_view key, const std::string& value)
{
    if (value.find_first_of("\r\n") != std::string::npos)
        throw std::invalid_argument("Путь с переводом строки нельзя сохранить в настройках: " + std::string(key));
}

} // namespace

void CONFIGURATION::set_defaults()
{
    // Both HOME and the account missing gives "", so the defaults land at the file system
    // root rather than in whatever folder the program was started from.
    const std::string home = user_home_folder();
    to_path = home + "/gtidata/";
    from_path = lib::with_slash(home + "/gti");
    silence_hours = default_silence_hours;
    time_zone.clear();
}

void CONFIGURATION::load(const std::string& ini_path)
{
    const lib::Profile profile = lib::Profile::load(ini_path);
    // A relative folder in the file is taken from the file's own folder, never from the
    // current folder, which differs from one start to the next.
    const std::string base = lib::absolute_path(lib::folder_of(ini_path));
    to_path = normalised_folder(
        profile.read_string(configuration_keys::options_section, configuration_keys::to_path, to_path), base);
    from_path = normalised_folder(
        profile.read_string(configuration_keys::options_section, configuration_keys::from_path, from_path), base);
    const int hours = profile.read_int(configuration_keys::options_section, configuration_keys::silence_hours, silence_hours);
    // A value out of range (a typing slip in the file) keeps the current one.
    if (hours >= min_silence_hours && hours <= max_silence_hours)
        silence_hours = hours;
    time_zone = lib::trim(profile.read_string(configuration_keys::options_section, configuration_keys::time_zone, time_zone));
}

void CONFIGURATION::save(const std::string& ini_path) const
{
    check_storable(configuration_keys::to_path, to_path);
    check_storable(configuration_keys::from_path, from_path);
    lib::Profile profile = lib::Profile::load(ini_path);
    profile.write_string(configuration_keys::options_section, configuration_keys::to_path, to_path);
    profile.write_string(configuration_keys::options_section, configuration_keys::from_path, from_path);
    profile.write_int(configuration_keys::options_section, configuration_keys::silence_hours, silence_hours);
    if (!time_zone.empty())
        profile.write_string(configuration_keys::options_section, configuration_keys::time_zone, time_zone);
    profile.save(ini_path);
}

std::string normalised_folder(const std::string& folder, const std::string& base)
{
    if (folder.empty())
        return folder;
    return lib::with_slash(std::filesystem::path(lib::absolute_path(folder, base)).lexically_normal().string());
}

CONFIGURATION& configuration()
{
    static CONFIGURATION instance;
    return instance;
}
