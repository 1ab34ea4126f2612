#pragma once
// Shared by the fuzz targets: a scratch folder private to the process (the readers under
// test open files by path), and inputs that carry several files at once.
//
// A multi-file input is a sequence of parts, each a 4-byte little-endian length and that
// many bytes; a length past the end takes what is left. write_seeds builds seeds this way.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace fuzz {

// Created on first use under the system's temporary folder, removed at exit.
inline const std::string& scratch()
{
    struct Folder {
        Folder()
        {
            std::string pattern = (std::filesystem::temp_directory_path() / "dravinex-fuzz-XXXXXX").string();
            if (::mkdtemp(pattern.data()) == nullptr)
                std::abort();
            path = pattern + "/";
        }
        ~Folder()
        {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
        std::string path;
    };
    static const Folder folder;
    return folder.path;
}

inline void write_file(const std::string& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Removes everything inside `folder`, keeping the folder.
inline void empty_folder(const std::string& folder)
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

inline std::vector<std::string_view> split_parts(const std::uint8_t* data, std::size_t size, std::size_t count)
{
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    while (parts.size() < count) {
        if (rest.size() < 4) {
            parts.emplace_back();
            continue;
        }
        std::size_t length = 0;
        for (int i = 3; i >= 0; --i)
            length = length << 8 | static_cast<unsigned char>(rest[static_cast<std::size_t>(i)]);
        rest.remove_prefix(4);
        length = std::min(length, rest.size());
        parts.push_back(rest.substr(0, length));
        rest.remove_prefix(length);
    }
    return parts;
}

inline std::string join_parts(const std::vector<std::string>& parts)
{
    std::string out;
    for (const std::string& part : parts) {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>(part.size() >> (8 * i));
        out += part;
    }
    return out;
}

} // namespace fuzz
