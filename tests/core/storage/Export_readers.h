#pragma once
// Small readers of the exported CSV and LAS text, written from the formats' rules and not
// from the writers, so that the tests read the output as another program would.

#include <charconv>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// RFC 4180: fields split by `separator`, quoted fields with doubled quotes, CR LF records.
inline std::vector<std::vector<std::string>> read_csv(std::string_view text, char separator)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            }
            else if (c == '"')
                quoted = false;
            else
                field += c;
        }
        else if (c == '"')
            quoted = true;
        else if (c == separator) {
            row.push_back(field);
            field.clear();
        }
        else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row.push_back(field);
            field.clear();
            rows.push_back(row);
            row.clear();
            ++i;
        }
        else
            field += c;
    }
    if (!field.empty() || !row.empty()) {
        row.push_back(field);
        rows.push_back(row);
    }
    return rows;
}

struct LasHeaderLine {
    std::string mnemonic;
    std::string unit;
    std::string value;
    std::string description;
};

struct LasFile {
    std::vector<std::string> section_order; // the letter after each '~'
    std::map<char, std::vector<LasHeaderLine>> headers;
    std::vector<std::string> other;
    std::vector<std::vector<std::string>> data;
    std::vector<std::string> bad_lines; // lines a header reader would not take

    const LasHeaderLine* find(char section, std::string_view mnemonic) const
    {
        const auto it = headers.find(section);
        if (it == headers.end())
            return nullptr;
        for (const LasHeaderLine& line : it->second)
            if (line.mnemonic == mnemonic)
                return &line;
        return nullptr;
    }
};

inline std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

// Header lines "MNEM.UNIT VALUE : DESCRIPTION": the mnemonic ends at the first dot, the unit
// at the first blank after it, the value at the last colon.
inline LasFile read_las(std::string_view text)
{
    LasFile las;
    char section = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 2;
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '~') {
            section = line.size() > 1 ? line[1] : 0;
            las.section_order.push_back(std::string(1, section));
            continue;
        }
        if (section == 'O') {
            las.other.push_back(std::string(line));
            continue;
        }
        if (section == 'A') {
            std::vector<std::string> fields;
            std::size_t p = 0;
            while (p < line.size()) {
                const auto first = line.find_first_not_of(' ', p);
                if (first == std::string_view::npos)
                    break;
                const auto last = line.find(' ', first);
                fields.emplace_back(line.substr(first, last == std::string_view::npos ? line.npos : last - first));
                p = last == std::string_view::npos ? line.size() : last;
            }
            las.data.push_back(fields);
            continue;
        }
        const auto dot = line.find('.');
        const auto colon = line.rfind(':');
        if (dot == std::string_view::npos || colon == std::string_view::npos || colon < dot ||
            line.find(':') != colon) {
            las.bad_lines.push_back(std::string(line));
            continue;
        }
        LasHeaderLine header;
        header.mnemonic = trimmed(line.substr(0, dot));
        const auto blank = line.find(' ', dot);
        header.unit = std::string(line.substr(dot + 1, std::min(blank, colon) - dot - 1));
        header.value = blank < colon ? trimmed(line.substr(blank, colon - blank)) : std::string();
        header.description = trimmed(line.substr(colon + 1));
        las.headers[section].push_back(header);
    }
    return las;
}

// A number field as a float, the way readers parse it: a double narrowed to float.
inline float as_float(const std::string& text)
{
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return -12345.0f; // not a number: no value of the fixtures
    return static_cast<float>(value);
}

} // namespace testsupport
