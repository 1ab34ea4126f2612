// The header readers of our 7za: the search for a RAR past an executable stub, RAR 5 and
// RAR 4 block headers and a zip's central directory, read from memory before libarchive
// sees the package.

#include "tools/archiver/Package_kind.h"
#include "tools/archiver/Rar_headers.h"
#include "tools/archiver/Zip_headers.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const archiver::ReadAt read = [bytes](std::uint64_t offset, std::size_t count) {
        return offset >= bytes.size() ? std::string() : std::string(bytes.substr(static_cast<std::size_t>(offset), count));
    };
    (void)archiver::find_package_start(read);
    (void)archiver::read_rar5_layout(read);
    (void)archiver::read_rar4_layout(read);
    (void)archiver::read_rar4_files(read);
    (void)archiver::zip_directory_has_encrypted_entries(read, size);
    return 0;
}
