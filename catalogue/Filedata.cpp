#include "catalogue/Filedata.h"

#include "lib/Strworks.h"
#include "lib/io/Binary_io.h"
#include "lib/io/File_replacement.h"

#include <algorithm>
#include <memory>
#include <stdexcept>


bool Utf16Less::operator()(std::string_view a, std::string_view b) const
{
    return lib::compare_utf16(a, b) < 0;
}

void FilesDataStorage::load(const std::string& path)
{
    entries_.clear();
    std::unique_ptr<lib::io::BinaryInputFileStream> in;
    try {
        in = lib::io::open_input_file(path, false, lib::enc_1251);
    }
    catch (const std::runtime_error&) {
        return; // no cache yet, or not readable: every package counts as new
    }
    try {
        if (in->read_string() != magic)
            return;
        if (in->read_value<std::int32_t>() != version)
            return;
        const auto count = in->read_value<std::int32_t>();
        for (std::int32_t i = 0; i < count; ++i) {
            std::string key = in->read_string();
            const auto size = in->read_value<std::int32_t>();
            // A byte the code page leaves undefined (0x98) comes from no path of ours and
            // would never be found again by one: such an entry is passed over.
            if (key_of(key) != key)
                continue;
            entries_.insert_or_assign(std::move(key), FileData{size});
        }
    }
    catch (const std::runtime_error&) {
        // The file ends early or inside an entry: keep the entries read whole.
    }
}

void FilesDataStorage::save(const std::string& path) const
{
    lib::io::FileReplacement replacement(path);
    lib::io::BinaryOutputFileStream out;
    out.set_encoding(lib::enc_1251);
    out.open(replacement.temporary_path(), false, false);
    out.write_string(magic);
    out.write_value(version);
    out.write_value(static_cast<std::int32_t>(entries_.size()));
    for (const auto& [key, data] : entries_) {
        out.write_string(key);
        out.write_value(data.size);
    }
    out.close();
    replacement.commit();
}

std::string FilesDataStorage::key_of(std::string_view path)
{
    lib::StrEncConverter converter(lib::enc_1251);
    lib::ByteBuffer bytes;
    return converter.decode(converter.encode(path, bytes));
}

bool FilesDataStorage::find(std::string_view path, std::int32_t& size) const
{
    const auto found = entries_.find(key_of(path));
    if (found == entries_.end())
        return false;
    size = found->second.size;
    return true;
}

void FilesDataStorage::store(const std::string& path, std::int32_t size)
{
    entries_.insert_or_assign(key_of(path), FileData{size});
}

void FilesDataStorage::erase(std::string_view path)
{
    if (const auto found = entries_.find(key_of(path)); found != entries_.end())
        entries_.erase(found);
}
