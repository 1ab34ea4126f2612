#include "tools/archiver/Volume_set.h"

#include <algorithm>
#include <cctype>

namespace archiver {
namespace {

bool ends_with_ignoring_case(const std::string& text, std::size_t end, const std::string& suffix)
{
    if (end < suffix.size())
        return false;
    return std::equal(suffix.begin(), suffix.end(), text.begin() + static_cast<std::ptrdiff_t>(end - suffix.size()),
                      [](char wanted, char c) { return std::tolower(static_cast<unsigned char>(c)) == wanted; });
}

} // namespace

std::optional<std::string> rar_volume_path(const std::string& volume_path, std::uint64_t index)
{
    const std::string rar = ".rar";
    if (!ends_with_ignoring_case(volume_path, volume_path.size(), rar))
        return std::nullopt;
    const std::size_t digits_end = volume_path.size() - rar.size();
    std::size_t digits_start = digits_end;
    while (digits_start > 0 && std::isdigit(static_cast<unsigned char>(volume_path[digits_start - 1])))
        --digits_start;
    if (digits_start == digits_end || !ends_with_ignoring_case(volume_path, digits_start, ".part"))
        return std::nullopt;
    std::string number = std::to_string(index + 1);
    const std::size_t width = digits_end - digits_start;
    if (number.size() < width)
        number.insert(0, width - number.size(), '0');
    return volume_path.substr(0, digits_start) + number + volume_path.substr(digits_end);
}

} // namespace archiver
