#pragma once
// The unpacked-data tree: the data folder holds one folder per area, each area one folder
// per well, and a well folder the well's files. This unit turns that layout into tree items
// and, for a well, into the list of its files with a kind caption and a run number.
//
// It reads folder listings only and opens no file. A folder that cannot be listed simply has
// no children and no files; nothing is reported. Hidden folders (names starting with '.')
// and links to folders are never areas or wells: a link could lead the scan in circles or
// out of the data folder. Hidden files of a well are listed, except the temporary files of
// rewrites that a killed run left behind. Linux lists a folder in no
// stable order, so areas and wells come by name, and file rows by run number, then name.
//
// The tree itself belongs to the caller (the window's tree view, the command line), which
// receives the items through TreeSink, or takes the areas with their wells' names from
// list_store_areas and makes items only for what it shows. Everything here runs on the
// caller's thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int node_data_folder = 0;
inline constexpr int node_area = 1;
inline constexpr int node_well = 2;

namespace catalogue_text {
inline constexpr std::string_view root_caption = "Все данные";
inline constexpr std::string_view area_caption_prefix = "Площадь ";
inline constexpr std::string_view well_caption_prefix = "Скважина ";
} // namespace catalogue_text

// What every tree item stands for.
struct TREE_NODE {
    int kind = node_data_folder;
    std::string folder; // full path, ending with '/'
};

// Where scan_children puts the items it finds. A handle is whatever the sink uses to name
// an item (a pointer to a view item, an index); this unit only passes it back.
class TreeSink {
public:
    using Handle = std::uintptr_t;

    virtual ~TreeSink() = default;
    // Adds an item under `parent` and returns the new item's handle.
    virtual Handle add_child(Handle parent, const std::string& caption, const TREE_NODE& node) = 0;
};

// Adds the subtree of `node` (whose item is `parent`) depth first: the areas of the data
// folder with their wells. A well has no children.
void scan_children(TreeSink& sink, TreeSink::Handle parent, const TREE_NODE& node);

// Adds the root item "Все данные" for the data folder under `parent` and scans it; returns
// the root's handle. `data_folder` is expected to end with '/'.
TreeSink::Handle add_data_tree(TreeSink& sink, TreeSink::Handle parent, const std::string& data_folder);

// An area of the store with its wells' folder names, by name.
struct STORE_AREA {
    std::string name;
    std::vector<std::string> wells;
};

// The areas of the data folder with their wells, read by the same rules as scan_children but
// without making an item: a window of thousands of wells makes those of an area only when
// they are shown. `data_folder` is expected to end with '/'.
std::vector<STORE_AREA> list_store_areas(const std::string& data_folder);

// One line of a well's file list.
struct PORE_FILES {
    std::string file_name;   // without folder
    std::string caption;     // kind caption, empty for an extension not in the table
    std::int32_t run_number; // -1 when the name carries none

    friend bool operator==(const PORE_FILES&, const PORE_FILES&) = default;
};

// Replaces `rows` with the files of a well's folder; empty unless the node is a well.
void list_well_files(const TREE_NODE& node, std::vector<PORE_FILES>& rows);

// The integer before the first '.' of the name (optional sign, decimal digits), or -1 when
// there is no dot or the text before it is not a 32-bit integer.
std::int32_t run_number_of_file(std::string_view name);

// The kind caption of the name's last extension, compared in lower case; "" for others.
std::string_view kind_caption(std::string_view name);
