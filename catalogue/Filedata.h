#pragma once
// The files data cache: for every package the extraction has taken, its full path and its
// size in bytes, so that a run over the whole input folder skips packages it has already
// extracted and that have not changed since.
//
// On disk ("TemporaryFileData.bin" in the program folder), integers little-endian:
//     "FILESDATASTORE" and a zero byte, int32 version (1), int32 count N,
//     N entries: path in code page 1251 and a zero byte, int32 size.
// Entries are written in map order. A path character the code page lacks is written as "?";
// so that such a path still finds its entry after a restart, every key is kept and looked
// up in that stored form (key_of), both before and after a save.
//
// load() never reports anything: a missing, foreign or damaged file leaves the entries it
// could read (none for a foreign file); an entry whose path does not read back to its own
// stored form (a byte undefined in code page 1251) is passed over, the rest still read. save() replaces the file as one step and raises
// lib::io::FileError when it cannot; the old file then stays as it was.
// Not thread-safe: one thread at a time (the extraction thread while a run goes on, the
// main thread otherwise).

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace catalogue_text {
inline constexpr std::string_view files_data_file_name = "TemporaryFileData.bin";
} // namespace catalogue_text

struct FileData {
    std::int32_t size = 0; // -1: the package file was not found
};

// Orders UTF-8 texts as their UTF-16 code units would, which is the order of the cache file.
// That is byte order, except that a character above U+FFFF (a surrogate pair in UTF-16)
// sorts below U+E000..U+FFFF. Any bytes, well-formed or not, get a total order.
struct Utf16Less {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

class FilesDataStorage {
public:
    using Map = std::map<std::string, FileData, Utf16Less>;

    static constexpr std::string_view magic = "FILESDATASTORE";
    static constexpr std::int32_t version = 1;
    // Magic with its zero byte, version, count.
    static constexpr std::size_t header_size = magic.size() + 1 + sizeof(std::int32_t) * 2;

    // Empties the map, then reads the cache file.
    void load(const std::string& path);
    // Writes the whole map to the cache file, replacing it. Throws lib::io::FileError.
    void save(const std::string& path) const;

    // The path as the cache file keeps it: through code page 1251 and back.
    static std::string key_of(std::string_view path);

    // True and the stored size when the path is known.
    bool find(std::string_view path, std::int32_t& size) const;
    // Inserts the path or overwrites its size.
    void store(const std::string& path, std::int32_t size);
    // Forgets the path, so that the package counts as new again.
    void erase(std::string_view path);
    void clear() { entries_.clear(); }

    const Map& entries() const { return entries_; }

private:
    Map entries_;
};
