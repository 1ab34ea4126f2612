#pragma once
// CLI11's own words in Russian: the help of every subcommand, and the usage errors.
//
// CLI11 pads the help's columns by bytes, so a Cyrillic option column comes out short by
// one blank per letter. HelpFormatter measures by characters (UTF-8 code points), wraps the
// descriptions at the terminal's usual width and writes the value placeholders and CLI11's
// remarks ("Excludes", ranges) in Russian. usage_error_text turns a parse error of CLI11,
// whose text is English, into one Russian sentence that names the option or argument.

#include <CLI/CLI.hpp>

#include <cstddef>
#include <string>

namespace dravinex_cli {

class HelpFormatter : public CLI::Formatter {
public:
    // The help's full width and where the descriptions begin, in characters.
    static constexpr std::size_t line_width = 80;
    static constexpr std::size_t description_column = 30;

    HelpFormatter();

    std::string make_option(const CLI::Option* option, bool is_positional) const override;
    std::string make_option_opts(const CLI::Option* option) const override;
    std::string make_subcommand(const CLI::App* command) const override;
    std::string make_description(const CLI::App* app) const override;

    // "  NAME" and then the description from the description column on, wrapped by words;
    // a name that reaches the column puts the description on the next line.
    static std::string two_columns(const std::string& name, const std::string& description);

private:
    // The value's placeholder: "ТЕКСТ", "{csv,las,witsml}", "ЧИСЛО от 0 до 8760", "МЕТРЫ".
    std::string value_text(const CLI::Option* option) const;
};

// The parse error as one Russian line without the line feed: what is wrong and with which
// option or argument ("--format: недопустимое значение «xml»; можно: text, csv, json").
std::string usage_error_text(const CLI::Error& error);

} // namespace dravinex_cli
