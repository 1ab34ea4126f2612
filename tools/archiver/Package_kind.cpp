#include "tools/archiver/Package_kind.h"

namespace archiver {

PackageKind package_kind(std::string_view head)
{
    using namespace std::string_view_literals;
    if (head.starts_with("7z\xBC\xAF\x27\x1C"sv))
        return PackageKind::seven_zip;
    // A local file header, or the end record of an empty zip.
    if (head.starts_with("PK\x03\x04"sv) || head.starts_with("PK\x05\x06"sv))
        return PackageKind::zip;
    if (head.starts_with("Rar!\x1A\x07\x00"sv))
        return PackageKind::rar4;
    if (head.starts_with("Rar!\x1A\x07\x01\x00"sv))
        return PackageKind::rar5;
    return PackageKind::unknown;
}

} // namespace archiver
