#pragma once
// The five kinds of package the station ships, in one table: the masks a run over the
// input folder searches for, how each kind is unpacked, and which file names are packages.
// Every front end (the run, the watch, the window's package list) asks here.

#include <array>
#include <optional>
#include <string>
#include <string_view>

enum class PackageKind { zreg, rar, seven_zip_reg, compressed_rt, compressed2_rt };

struct PackageKindInfo {
    PackageKind kind;
    std::string_view extension; // lower case, with its dot
    std::string_view mask;      // for the folder search, which ignores letter case
    bool container;             // the station's own packed container or a RAR archive (the window draws these alike)
};

// In the order a run searches for them.
inline constexpr std::array<PackageKindInfo, 5> package_kinds = {{
    {PackageKind::zreg, ".zreg", "*.zreg", true},
    {PackageKind::rar, ".rar", "*.rar", true},
    {PackageKind::seven_zip_reg, ".7z_reg", "*.7z_reg", false},
    {PackageKind::compressed_rt, ".compr_rt", "*.compr_rt", false},
    {PackageKind::compressed2_rt, ".compr2_rt", "*.compr2_rt", false},
}};

// The kind of a file by its extension in any letter case; nothing for other files.
std::optional<PackageKindInfo> package_kind_of(const std::string& path);

// True for a file name the extraction takes as a package, hidden names excluded as the
// folder search excludes them.
bool is_package_name(const std::string& name);

// Unpacks a package of a known kind into `folder` (ending with '/'); throws on failure.
void unpack_package(const std::string& path, PackageKind kind, const std::string& folder);
