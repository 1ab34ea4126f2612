#include "tools/archiver/Output_name.h"

namespace archiver {

std::optional<std::string> safe_output_name(std::string_view entry_path)
{
    const auto separator = entry_path.find_last_of("/\\");
    const std::string_view name = separator == std::string_view::npos ? entry_path : entry_path.substr(separator + 1);
    if (name.empty() || name == "." || name == "..")
        return std::nullopt;
    return std::string(name);
}

} // namespace archiver
