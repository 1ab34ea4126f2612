#include "lib/Fileworks.h"

#include "lib/Strworks.h"
#include "lib/Sys_utils.h"
#include "platform/File.h"
#include "platform/Folder_watch.h"

#include <algorithm>
#include <ctime>
#include <optional>


namespace lib {

namespace {

// The FAT-style stamp the Windows search record carries: date in the high word.
std::uint32_t packed_time(platform::FileTime file_time)
{
    constexpr std::int64_t ticks_1601_to_1970 = 116444736000000000LL;
    const std::time_t seconds = static_cast<std::time_t>((file_time - ticks_1601_to_1970) / 10000000LL);
    std::tm local {};
    if (::localtime_r(&seconds, &local) == nullptr || local.tm_year < 80)
        return 0;
    const auto date = static_cast<std::uint32_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    const auto time = static_cast<std::uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    return (date << 16) | time;
}

bool is_real_folder(const platform::DirEntry& entry)
{
    return (entry.attributes & platform::attr_directory) && !(entry.attributes & platform::attr_link);
}

std::vector<platform::DirEntry> sorted_listing(const std::string& folder)
{
    std::vector<platform::DirEntry> entries = platform::list_directory(folder);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return entries;
}

} // namespace

bool attributes_selected(unsigned attributes, unsigned attribute_set)
{
    for (const unsigned special : {platform::attr_hidden, platform::attr_system, platform::attr_directory}) {
        if ((attributes & special) && !(attribute_set & special))
            return false;
    }
    return true;
}

void FileFinder::find(const std::string& mask, unsigned attribute_set, bool recursive)
{
    const std::string folder = folder_of(mask);
    const std::string pattern = mask.substr(folder.size());
    const std::vector<platform::DirEntry> entries = sorted_listing(folder);
    if (recursive) {
        for (const platform::DirEntry& entry : entries) {
            if (is_real_folder(entry) && attributes_selected(entry.attributes, attr_set_folders))
                find(folder + entry.name + "/" + pattern, attribute_set, true);
        }
    }
    const bool folders_only = (attribute_set & platform::attr_directory) != 0;
    for (const platform::DirEntry& entry : entries) {
        if (!mask_matches(pattern, entry.name) || !attributes_selected(entry.attributes, attribute_set))
            continue;
        if (folders_only && !(entry.attributes & platform::attr_directory))
            continue;
        FindedFile hit;
        hit.attributes = entry.attributes;
        hit.size = static_cast<std::uint32_t>(entry.size);
        hit.full_size = entry.size;
        hit.time = packed_time(entry.times.last_write);
        hit.name = entry.name;
        hit.directory = folder;
        total_size += entry.size;
        files.push_back(std::move(hit));
    }
}

void FileFinder::sort_by_name()
{
    std::stable_sort(files.begin(), files.end(),
                     [](const FindedFile& a, const FindedFile& b) { return compare_utf16(a.name, b.name) < 0; });
}

std::int64_t file_size(const std::string& path)
{
    const std::string folder = folder_of(path);
    const std::string name = path.substr(folder.size());
    if (name.empty() || name[0] == '.')
        return -1;
    const std::optional<platform::FileStamp> stamp = platform::file_stamp(path);
    return stamp ? static_cast<std::int64_t>(stamp->size) : -1;
}

void delete_files(const std::string& folder)
{
    const std::string base = lib::with_slash(folder);
    for (const platform::DirEntry& entry : platform::list_directory(base)) {
        if (!(entry.attributes & platform::attr_directory) && attributes_selected(entry.attributes, attr_set_ordinary))
            platform::remove_file(base + entry.name);
    }
}

// Everything goes, hidden entries included: the folder is the program's own scratch space
// and anything left behind would travel with the next package.
void empty_tree(const std::string& folder)
{
    for (const platform::DirEntry& entry : platform::list_directory(folder)) {
        const std::string path = folder + entry.name;
        if (is_real_folder(entry)) {
            empty_tree(path + "/");
            platform::remove_folder(path);
        }
        else {
            platform::remove_file(path);
        }
    }
}

bool file_times(const std::string& path, platform::FileTime* last_access, platform::FileTime* last_write)
{
    platform::FileTimes times;
    if (!platform::read_path_times(path, times))
        return false;
    if (last_access)
        *last_access = times.last_access;
    if (last_write)
        *last_write = times.last_write;
    return true;
}

bool folder_exists(const std::string& folder)
{
    return platform::path_kind(folder) == platform::PathKind::folder;
}

bool file_exists(const std::string& path)
{
    return platform::path_kind(path) != platform::PathKind::missing;
}

bool make_folder(const std::string& folder)
{
    platform::make_folder(folder);
    return folder_exists(folder);
}

} // namespace lib
