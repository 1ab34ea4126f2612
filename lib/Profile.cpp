#include "lib/Profile.h"

#include "lib/Strworks.h"
#include "lib/io/Binary_io.h"
#include "lib/io/File_replacement.h"

#include <charconv>

namespace lib {

namespace {

constexpr std::size_t npos = static_cast<std::size_t>(-1);

// The section name of a header line "[name]", or false.
bool header_name(std::string_view line, std::string& name)
{
    const std::string trimmed = trim(line);
    if (trimmed.empty() || trimmed.front() != '[')
        return false;
    const auto close = trimmed.find(']');
    if (close == std::string::npos)
        return false;
    name = trim(std::string_view(trimmed).substr(1, close - 1));
    return true;
}

bool is_comment(const std::string& trimmed)
{
    return !trimmed.empty() && trimmed.front() == ';';
}

std::string unquote_value(std::string value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

Profile Profile::parse(std::string_view text)
{
    Profile profile;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        profile.lines_.emplace_back(line);
        start = end + 1;
    }
    return profile;
}

Profile Profile::load(const std::string& path)
{
    try {
        return parse(io::read_whole_file(path));
    }
    catch (const io::FileNotFoundError&) {
        return Profile();
    }
}

bool Profile::find_section(std::string_view section, Span& span) const
{
    std::string name;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!header_name(lines_[i], name) || !equals_ignore_case(name, trim(section)))
            continue;
        span.header = i;
        span.end = i + 1;
        while (span.end < lines_.size() && !header_name(lines_[span.end], name))
            ++span.end;
        return true;
    }
    return false;
}

std::size_t Profile::find_key(const Span& span, std::string_view key) const
{
    const std::string wanted = trim(key);
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        const std::string trimmed = trim(lines_[i]);
        if (is_comment(trimmed))
            continue;
        const auto equals = trimmed.find('=');
        if (equals != std::string::npos && equals_ignore_case(trim(std::string_view(trimmed).substr(0, equals)), wanted))
            return i;
    }
    return npos;
}

std::string Profile::read_string(std::string_view section, std::string_view key, std::string_view default_value) const
{
    Span span;
    if (!find_section(section, span))
        return std::string(default_value);
    const std::size_t line = find_key(span, key);
    if (line == npos)
        return std::string(default_value);
    const std::string& text = lines_[line];
    return unquote_value(trim(std::string_view(text).substr(text.find('=') + 1)));
}

int Profile::read_int(std::string_view section, std::string_view key, int default_value) const
{
    const std::string value = read_string(section, key, "");
    int number = 0;
    const char* first = value.data();
    if (!value.empty() && value.front() == '+')
        ++first;
    const auto [end, error] = std::from_chars(first, value.data() + value.size(), number);
    if (error != std::errc() || end == first)
        return default_value;
    return number;
}

void Profile::write_string(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string line = trim(key) + "=" + std::string(value);
    Span span;
    if (!find_section(section, span)) {
        // Appended piece by piece: GCC 12 at -O3 mistakes "[" + std::string&& for an
        // overlapping copy (-Wrestrict) and would fail a -Werror build.
        std::string header = "[";
        header += trim(section);
        header += ']';
        lines_.push_back(std::move(header));
        lines_.push_back(line);
        return;
    }
    if (const std::size_t existing = find_key(span, key); existing != npos) {
        lines_[existing] = line;
        return;
    }
    // After the section's last non-blank line, so that a blank separator line stays last.
    std::size_t insert_at = span.end;
    while (insert_at > span.header + 1 && trim(lines_[insert_at - 1]).empty())
        --insert_at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), line);
}

void Profile::write_int(std::string_view section, std::string_view key, int value)
{
    write_string(section, key, std::to_string(value));
}

std::string Profile::text() const
{
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += '\n';
    }
    return text;
}

void Profile::save(const std::string& path) const
{
    io::replace_file_contents(path, text());
}

std::string read_profile_string(const std::string& path, std::string_view section, std::string_view key,
                                std::string_view default_value)
{
    return Profile::load(path).read_string(section, key, default_value);
}

void write_profile_string(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view value)
{
    Profile profile = Profile::load(path);
    profile.write_string(section, key, value);
    profile.save(path);
}

} // namespace lib
