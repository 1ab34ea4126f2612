#include "storage/Data_file_kinds.h"

#include "lib/Strworks.h"
#include "lib/Sys_utils.h"

#include <string>

namespace data_file_kinds {

const DataFileKind* of_extension(std::string_view extension)
{
    const std::string lower = lib::to_lower(extension);
    for (const DataFileKind& kind : all) {
        if (kind.extension == lower)
            return &kind;
    }
    return nullptr;
}

const DataFileKind* of_name(std::string_view name)
{
    return of_extension(lib::extension_of(std::string(name)));
}

} // namespace data_file_kinds
