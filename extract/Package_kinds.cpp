// The package kinds and their unpackers.

#include "extract/Package_kinds.h"

#include "extract/Archive_packages.h"
#include "extract/Regzipclass.h"
#include "lib/Sys_utils.h"

std::optional<PackageKindInfo> package_kind_of(const std::string& path)
{
    const std::string extension = lib::extension_of(path);
    for (const PackageKindInfo& info : package_kinds) {
        if (info.extension == extension)
            return info;
    }
    return std::nullopt;
}

bool is_package_name(const std::string& name)
{
    return !name.empty() && name.front() != '.' && package_kind_of(name).has_value();
}

void unpack_package(const std::string& path, PackageKind kind, const std::string& folder)
{
    switch (kind) {
    case PackageKind::zreg: {
        rzip::Decompression package(path);
        // A package that cannot be read is an error, not an empty package: it would
        // otherwise be remembered as done.
        package.rethrow_open_error();
        if (!package.readable())
            throw rzip::Exception(rzip::text::shorter_than_header);
        package.extract_all(folder);
        return;
    }
    case PackageKind::rar:
        extract_rar_package(path, folder);
        return;
    case PackageKind::seven_zip_reg:
        extract_7z_package(path, folder);
        return;
    case PackageKind::compressed_rt:
        extract_compressed_rt(path, folder, 0);
        return;
    case PackageKind::compressed2_rt:
        extract_compressed_rt(path, folder, 2);
        return;
    }
}
