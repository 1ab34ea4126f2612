#include "storage/Data_file.h"

#include "lib/Strworks.h"
#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"
#include "storage/Data_file_kinds.h"
#include "storage/Realtimedatareader.h"

#include <array>
#include <string_view>

namespace data_file {

namespace {

constexpr std::array<std::string_view, 2> compressed_stream_suffixes = {".compr1", ".newcompr1"};

bool ends_with(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The name without a compressed-stream suffix: the data file the stream rebuilds.
std::string rebuilt_name(const std::string& path)
{
    const std::string lower = lib::to_lower(lib::name_of(path));
    for (const std::string_view suffix : compressed_stream_suffixes)
        if (ends_with(lower, suffix))
            return lower.substr(0, lower.size() - suffix.size());
    return lower;
}

bool is_compressed_stream(const std::string& path)
{
    const std::string lower = lib::to_lower(lib::name_of(path));
    for (const std::string_view suffix : compressed_stream_suffixes)
        if (ends_with(lower, suffix))
            return true;
    return false;
}

} // namespace

void load(FileStorage& model, const std::string& path, std::optional<int> form_version)
{
    if (form_version) {
        model.clear();
        model.load_compressed(path, *form_version);
        return;
    }
    if (is_compressed_stream(path)) {
        lib::io::InputMappedFile stream;
        stream.open(path, false);
        model.load_after_decompressing(stream);
        return;
    }
    model.load(path);
}

bool readable(const std::string& path)
{
    return is_compressed_stream(path) || is_data_file_extension(lib::extension_of(path));
}

IndexKind index_kind_of(const std::string& path)
{
    const data_file_kinds::DataFileKind* kind = data_file_kinds::of_name(rebuilt_name(path));
    return kind && data_file_kinds::by_depth(kind->kind) ? IndexKind::depth : IndexKind::time;
}

} // namespace data_file
