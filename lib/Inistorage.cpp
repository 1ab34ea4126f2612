#include "lib/Inistorage.h"

#include "lib/io/Binary_io.h"
#include "lib/io/File_replacement.h"

namespace lib {

namespace {

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

bool is_section_header(const std::string& line)
{
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

} // namespace

MemIni MemIni::parse(std::string_view text)
{
    MemIni ini;
    for (std::string_view raw : lib::split_lines(text)) {
        const std::string line = trim(raw);
        if (line.empty() || line.front() == ';')
            continue;
        if (is_section_header(line)) {
            Section section;
            section.name = trim(std::string_view(line).substr(1, line.size() - 2));
            section.folded_name = to_lower(section.name);
            ini.sections_.push_back(std::move(section));
            continue;
        }
        if (ini.sections_.empty())
            continue;
        Line entry;
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            entry.key = line;
        }
        else {
            entry.key = trim(std::string_view(line).substr(0, equals));
            entry.value = trim(std::string_view(line).substr(equals + 1));
            entry.has_value = true;
        }
        entry.folded_key = to_lower(entry.key);
        ini.sections_.back().lines.push_back(std::move(entry));
    }
    return ini;
}

const MemIni::Section* MemIni::find_section(std::string_view name) const
{
    const std::string folded = to_lower(name);
    for (const Section& section : sections_) {
        if (section.folded_name == folded)
            return &section;
    }
    return nullptr;
}

std::string MemIni::read_string(std::string_view section, std::string_view key, std::string_view default_value) const
{
    if (const Section* found = find_section(section)) {
        const std::string folded = to_lower(key);
        for (const Line& line : found->lines) {
            if (line.has_value && line.folded_key == folded)
                return line.value;
        }
    }
    return std::string(default_value);
}

MemIni decode_ini(std::string_view bytes, StrEncoding encoding)
{
    if (encoding == enc_utf8) {
        if (!is_valid_utf8(bytes))
            return MemIni();
        if (bytes.substr(0, utf8_bom.size()) == utf8_bom)
            bytes.remove_prefix(utf8_bom.size());
    }
    std::string text;
    if (auto converter = make_converter(encoding))
        converter->to_wide(bytes.data(), bytes.size(), text);
    return MemIni::parse(text);
}

std::unique_ptr<MemIni> open_ini_for_reading(const std::string& path)
{
    std::string bytes;
    try {
        bytes = io::read_whole_file(path);
    }
    catch (const io::FileNotFoundError&) {
        return std::make_unique<MemIni>();
    }
    auto ini = std::make_unique<MemIni>(decode_ini(bytes, enc_utf8));
    if (ini->read_string(ini_marker_section, ini_marker_key, "") == ini_marker_utf8)
        return ini;
    return std::make_unique<MemIni>(decode_ini(bytes, enc_1251));
}

} // namespace lib
