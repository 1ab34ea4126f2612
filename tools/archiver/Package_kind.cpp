#include "tools/archiver/Package_kind.h"

namespace archiver {

namespace {

using namespace std::string_view_literals;

bool is_executable_stub(std::string_view head)
{
    return head.starts_with("MZ"sv) || head.starts_with("\x7F" "ELF"sv);
}

bool is_rar(PackageKind kind) { return kind == PackageKind::rar4 || kind == PackageKind::rar5; }

} // namespace

PackageKind package_kind(std::string_view head)
{
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

PackageStart find_package_start(const ReadAt& read)
{
    const std::string head = read(0, package_signature_size);
    if (const PackageKind kind = package_kind(head); kind != PackageKind::unknown || !is_executable_stub(head))
        return {kind, 0};
    // Only a RAR signature counts past a stub: a stub may well hold other formats' bytes.
    const std::string stub = read(0, sfx_search_limit + package_signature_size);
    for (std::uint64_t at = sfx_search_step; at < sfx_search_limit && at < stub.size(); at += sfx_search_step) {
        const PackageKind kind = package_kind(std::string_view(stub).substr(at, package_signature_size));
        if (is_rar(kind))
            return {kind, at};
    }
    return {};
}

} // namespace archiver
