#pragma once
// General file helpers: the file finder with Windows-style attribute sets, and small file
// and folder operations. The extraction pipeline and the data file model both use them.
//
// Masks match names without regard to letter case ("X.ZREG" matches "*.zreg"). Attribute
// sets select as the Windows search does: ordinary files always match; hidden files, system
// files and folders only when their bit is in the set. Links to folders are never descended
// into, so a link cannot lead a search in circles or out of the tree.

#include "platform/File.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lib {

inline constexpr unsigned attr_set_files = 0x21;        // ordinary, non-hidden files
inline constexpr unsigned attr_set_with_hidden = 0x22;  // hidden files as well
inline constexpr unsigned attr_set_folders = 0x10;
inline constexpr unsigned attr_set_ordinary = 0;
inline constexpr unsigned attr_set_everything = 0xFF;

// One search hit.
struct FindedFile {
    unsigned attributes = 0;
    std::uint32_t size = 0;      // low 32 bits, as the search record has it
    std::uint64_t full_size = 0;
    std::uint32_t time = 0;      // last write, packed DOS date (high word) and time (low word)
    std::string name;
    std::string directory;       // the mask's folder part, ending with '/'

    std::string path() const { return directory + name; }
};

class FileFinder {
public:
    // Appends every hit of the mask; with `recursive` the hits of subfolders (depth first,
    // subfolders by name) come before those of the mask's own folder.
    void find(const std::string& mask, unsigned attribute_set, bool recursive);
    // By name alone, as UTF-16 code units compare.
    void sort_by_name();

    std::uint64_t total_size = 0;
    std::vector<FindedFile> files;
};

// Whether a search with this attribute set yields an entry with these attributes.
bool attributes_selected(unsigned attributes, unsigned attribute_set);

// The size of an ordinary, non-hidden file; -1 when there is none.
std::int64_t file_size(const std::string& path);
// Deletes the ordinary files directly inside the folder.
void delete_files(const std::string& folder);
// Empties the folder (which ends with '/') completely, keeping the folder. Links are
// removed, never followed.
void empty_tree(const std::string& folder);
// The last-access and last-write times of the file at `path` (100-ns ticks since 1601);
// either output may be null. False when there is no such file.
bool file_times(const std::string& path, platform::FileTime* last_access, platform::FileTime* last_write);

// Creates one folder level; true when it exists afterwards.
bool make_folder(const std::string& folder);
bool folder_exists(const std::string& folder);
bool file_exists(const std::string& path);

} // namespace lib
