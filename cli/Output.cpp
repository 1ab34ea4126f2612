#include "cli/Output.h"

#include "cli/Cli.h"

#include <ostream>

namespace dravinex_cli {

std::string printable(std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            result += c;
            continue;
        }
        switch (c) {
        case '\t': result += "\\t"; break;
        case '\n': result += "\\n"; break;
        case '\r': result += "\\r"; break;
        default:
            result += "\\x";
            result += hex[byte >> 4];
            result += hex[byte & 0x0f];
        }
    }
    return result;
}

std::string without_blank_lines(std::string_view message)
{
    std::string text;
    text.reserve(message.size());
    for (const char c : message) {
        if (c != '\n' || text.empty() || text.back() != '\n')
            text += c;
    }
    return text;
}

std::size_t display_width(std::string_view text)
{
    std::size_t width = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xc0) != 0x80) // continuation bytes add nothing
            ++width;
    return width;
}

void append_padded(std::string& line, std::string_view text, std::size_t width)
{
    line += text;
    const std::size_t used = display_width(text);
    if (used < width)
        line.append(width - used, ' ');
    line += ' ';
}

void report(std::ostream& err, std::string_view text)
{
    err << program_name << ": " << printable(text) << '\n';
}

int report_failure(std::ostream& err, std::string_view what, std::string_view reason)
{
    std::string text(what);
    text += ": ";
    text += reason;
    report(err, text);
    return exit_failure;
}

int finish_output(std::ostream& out, std::ostream& err)
{
    if (out.flush())
        return exit_ok;
    report(err, "не удалось записать вывод");
    return exit_failure;
}

} // namespace dravinex_cli
