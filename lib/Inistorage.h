#pragma once
// Reading the station identity file and other INI files into memory.
//
// The whole file is decoded with one encoding. Sections and keys are found without regard
// to letter case (Cyrillic included); a missing section or key yields the caller's default.
// Nothing is ever written back. A file that exists but cannot be read raises
// lib::io::FileError; a missing file is an empty INI.

#include "lib/Strworks.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lib {

class MemIni {
public:
    // Lines end at CR LF, CR or LF; blank lines, ";" comments and lines before the first
    // section are dropped; "key = value" splits at the first "=".
    static MemIni parse(std::string_view text);

    std::string read_string(std::string_view section, std::string_view key, std::string_view default_value) const;
    bool empty() const { return sections_.empty(); }

private:
    struct Line {
        std::string key; // the whole trimmed line when it has no "="
        std::string folded_key;
        std::string value;
        bool has_value = false;
    };
    struct Section {
        std::string name;
        std::string folded_name;
        std::vector<Line> lines;
    };

    const Section* find_section(std::string_view name) const;

    std::vector<Section> sections_;
};

// The section and key that tell which encoding the file is in.
inline constexpr std::string_view ini_marker_section = "__special__";
inline constexpr std::string_view ini_marker_key = "encoding";
inline constexpr std::string_view ini_marker_utf8 = "utf8";

// Decodes bytes with an encoding. UTF-8 is strict: bytes that are not valid UTF-8 give an
// empty INI. A byte-order mark of UTF-8 is skipped.
MemIni decode_ini(std::string_view bytes, StrEncoding encoding);

// UTF-8 when the file says so through its marker, otherwise code page 1251.
std::unique_ptr<MemIni> open_ini_for_reading(const std::string& path);

} // namespace lib
