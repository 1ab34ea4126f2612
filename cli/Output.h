#pragma once
// What the subcommands of dravinex-cli share to write: their errors as one line each, the
// end of an output, and small text helpers for the listings. Numbers come from
// lib/Float_text.h and storage/Export.h, independent of the locale.

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace dravinex_cli {

// Control characters shown as \t, \n, \r or \xNN, so that a text from a data file stays on
// its line and cannot drive the terminal.
std::string printable(std::string_view text);

// An error box's message for a terminal: its blank lines between paragraphs become single
// line breaks, so that the message reads as lines of a log.
std::string without_blank_lines(std::string_view message);

// Width of UTF-8 text in characters, for lining up columns with Cyrillic names.
std::size_t display_width(std::string_view text);

// The text followed by blanks up to `width` characters, and one blank more as a separator.
void append_padded(std::string& line, std::string_view text, std::size_t width);

// "dravinex-cli: TEXT" as one line on `err`, control characters shown, so that scripts
// read every error by lines.
void report(std::ostream& err, std::string_view text);

// "dravinex-cli: WHAT: REASON" (WHAT is mostly a path); returns exit_failure.
int report_failure(std::ostream& err, std::string_view what, std::string_view reason);

// Flushes the output a subcommand wrote: exit_ok, or exit_failure with a line on `err` when
// it could not be written (a full disk or a closed pipe must not end in status 0 with half
// a listing).
int finish_output(std::ostream& out, std::ostream& err);

} // namespace dravinex_cli
