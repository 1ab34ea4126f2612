#include "catalogue/Treeclasses.h"

#include "lib/Strworks.h"
#include "lib/Sys_utils.h"
#include "lib/io/File_replacement.h"
#include "platform/File.h"
#include "storage/Data_file_kinds.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace {

// The folders that count as areas or wells, by name.
std::vector<std::string> child_folders(const std::string& folder)
{
    std::vector<std::string> names;
    // Names and kinds only: a store of thousands of wells is listed without a stat per folder.
    for (const platform::NamedEntry& entry : platform::list_names(folder)) {
        if (!entry.folder || entry.link || entry.name.front() == '.')
            continue;
        names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

void scan_children(TreeSink& sink, TreeSink::Handle parent, const TREE_NODE& node)
{
    if (node.kind >= node_well)
        return;
    const std::string_view prefix = node.kind == node_data_folder ? catalogue_text::area_caption_prefix : catalogue_text::well_caption_prefix;
    for (const std::string& name : child_folders(node.folder)) {
        const TREE_NODE child{node.kind + 1, node.folder + name + '/'};
        const TreeSink::Handle item = sink.add_child(parent, std::string(prefix) + name, child);
        scan_children(sink, item, child);
    }
}

TreeSink::Handle add_data_tree(TreeSink& sink, TreeSink::Handle parent, const std::string& data_folder)
{
    const TREE_NODE root{node_data_folder, data_folder};
    const TreeSink::Handle item = sink.add_child(parent, std::string(catalogue_text::root_caption), root);
    scan_children(sink, item, root);
    return item;
}

std::vector<STORE_AREA> list_store_areas(const std::string& data_folder)
{
    std::vector<STORE_AREA> areas;
    for (std::string& name : child_folders(data_folder)) {
        std::vector<std::string> wells = child_folders(data_folder + name + '/');
        areas.push_back({std::move(name), std::move(wells)});
    }
    return areas;
}

void list_well_files(const TREE_NODE& node, std::vector<PORE_FILES>& rows)
{
    rows.clear();
    if (node.kind != node_well)
        return;
    for (const platform::NamedEntry& entry : platform::list_names(node.folder)) {
        // A rewrite that a killed run left unfinished is no file of the well.
        if (entry.folder || lib::io::is_replacement_leftover(entry.name))
            continue;
        rows.push_back({entry.name, std::string(kind_caption(entry.name)), run_number_of_file(entry.name)});
    }
    std::sort(rows.begin(), rows.end(), [](const PORE_FILES& a, const PORE_FILES& b) {
        if (a.run_number != b.run_number)
            return a.run_number < b.run_number;
        return a.file_name < b.file_name;
    });
}

std::int32_t run_number_of_file(std::string_view name)
{
    constexpr std::int32_t none = -1;
    const std::size_t dot = name.find('.');
    if (dot == std::string_view::npos)
        return none;
    std::string_view text = name.substr(0, dot);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars alone would take a second sign or stop at the first letter.
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return none;
    std::int64_t magnitude = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), magnitude).ec != std::errc())
        return none;
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return none;
    return static_cast<std::int32_t>(value);
}

std::string_view kind_caption(std::string_view name)
{
    const data_file_kinds::DataFileKind* kind = data_file_kinds::of_name(name);
    return kind ? kind->caption : std::string_view();
}
