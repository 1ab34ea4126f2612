#include "extract/Archive_packages.h"

#include "storage/Realtimedatareader.h"

namespace {

[[noreturn]] void not_supported_yet(const std::string& kind)
{
    throw FileStorageException("Пакеты вида " + kind + " пока не поддерживаются", true);
}

} // namespace

void extract_rar_package(const std::string&, const std::string&)
{
    not_supported_yet(".rar");
}

void extract_7z_package(const std::string&, const std::string&)
{
    not_supported_yet(".7z_reg");
}

void extract_compressed_rt(const std::string&, const std::string&, int form_version)
{
    not_supported_yet(form_version == 0 ? ".compr_rt" : ".compr2_rt");
}
