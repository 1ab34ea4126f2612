#pragma once
// The program's own settings files (dravinex2.ini, .handle): read and written key by key,
// the way INI profile functions do it. Sections and keys are matched without regard to
// letter case; every other line of the file, comments included, is kept as it was.
// Files are UTF-8; a rewrite goes through lib::io::FileReplacement.

#include <string>
#include <string_view>
#include <vector>

namespace lib {

class Profile {
public:
    // A missing file gives an empty profile; other read errors raise lib::io::FileError.
    static Profile load(const std::string& path);
    static Profile parse(std::string_view text);

    // The value with blanks trimmed and one pair of enclosing quotes removed, or the default.
    std::string read_string(std::string_view section, std::string_view key, std::string_view default_value) const;
    // The leading decimal integer of the value, or the default when there is none.
    int read_int(std::string_view section, std::string_view key, int default_value) const;

    // Replaces the key's line, or adds it at the end of its section, adding the section at
    // the end of the file when it is missing.
    void write_string(std::string_view section, std::string_view key, std::string_view value);
    void write_int(std::string_view section, std::string_view key, int value);

    std::string text() const;
    void save(const std::string& path) const;

private:
    struct Span {
        std::size_t header = 0; // index of the section's header line
        std::size_t end = 0;    // one past its last line
    };
    bool find_section(std::string_view section, Span& span) const;
    // Index of the key's line inside the span, or npos.
    std::size_t find_key(const Span& span, std::string_view key) const;

    std::vector<std::string> lines_;
};

// One value, read from or written to a file at once.
std::string read_profile_string(const std::string& path, std::string_view section, std::string_view key,
                                std::string_view default_value);
void write_profile_string(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view value);

} // namespace lib
