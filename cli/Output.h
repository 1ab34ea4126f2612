#pragma once
// Small text helpers shared by the output forms of dravinex-cli. Everything here is
// independent of the locale: numbers always use a dot and the shortest exact form.

#include <cstddef>
#include <string>
#include <string_view>

namespace dravinex_cli {

// The shortest decimal text that reads back to the same 32-bit float ("0.1", "1500.25",
// "1e+20"), whether it is read as a float or as a double narrowed to float; "NaN",
// "Infinity" and "-Infinity" for the values that have no number.
std::string float_text(float value);

// One CSV field: quoted, with quotes doubled, when it holds a comma, a quote or a line break.
void append_csv_field(std::string& line, std::string_view field);

// Control characters shown as \t, \n, \r or \xNN, so that a text from a data file stays on
// its line and cannot drive the terminal.
std::string printable(std::string_view text);

// Width of UTF-8 text in characters, for lining up columns with Cyrillic names.
std::size_t display_width(std::string_view text);

// The text followed by blanks up to `width` characters, and one blank more as a separator.
void append_padded(std::string& line, std::string_view text, std::size_t width);

} // namespace dravinex_cli
