#include "cli/Help.h"

#include "cli/Output.h"

#include <regex>
#include <sstream>
#include <string_view>
#include <vector>

namespace dravinex_cli {

namespace {

// The words of a description, wrapped into lines of at most `width` characters; a word
// longer than that stands alone. Line breaks of the description itself are kept.
std::vector<std::string> wrapped(const std::string& text, std::size_t width)
{
    std::vector<std::string> lines;
    std::istringstream paragraphs(text);
    for (std::string paragraph; std::getline(paragraphs, paragraph);) {
        std::istringstream words(paragraph);
        std::string line;
        for (std::string word; words >> word;) {
            if (!line.empty() && display_width(line) + 1 + display_width(word) > width) {
                lines.push_back(line);
                line.clear();
            }
            line += (line.empty() ? "" : " ") + word;
        }
        lines.push_back(line);
    }
    return lines;
}

// "0.000000" as CLI11 writes a bound of a range of floats: "0".
std::string plain_number(std::string number)
{
    if (number.find('.') != std::string::npos) {
        number.erase(number.find_last_not_of('0') + 1);
        if (number.back() == '.')
            number.pop_back();
    }
    return number;
}

// "{text,csv,json}" as "text, csv, json".
std::string listed(const std::string& members)
{
    std::string list;
    for (const char c : members)
        list += c == ',' ? std::string(", ") : std::string(1, c);
    return list;
}

// CLI11 lists the arguments it did not expect last first.
std::string in_command_line_order(const std::string& listed_last_first)
{
    std::istringstream words(listed_last_first);
    std::string in_order;
    for (std::string word; words >> word;)
        in_order = in_order.empty() ? word : word + " " + in_order;
    return in_order;
}

bool is_option(const std::string& name)
{
    return name.starts_with("-");
}

// CLI11's texts hold nothing but ASCII; ours are Russian.
bool is_ours(const std::string& text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    }
    return false;
}

template <class Kind>
bool is_a(const CLI::Error& error)
{
    return dynamic_cast<const Kind*>(&error) != nullptr;
}

// One kind of CLI11's message: its pattern and our sentence made of the pattern's parts.
// The kind is told by the error's type: CLI11 gives some errors a subcommand's name.
struct Wording {
    bool (*kind)(const CLI::Error&);
    std::regex pattern;
    std::string (*sentence)(const std::smatch& part);
};

const std::vector<Wording>& wordings()
{
    static const std::vector<Wording> table = {
        {is_a<CLI::RequiredError>, std::regex("A subcommand is required|Requires at least \\d+ subcommands"),
         [](const std::smatch&) { return std::string("не задана подкоманда"); }},
        {is_a<CLI::RequiredError>, std::regex("(\\S+) is required"),
         [](const std::smatch& p) {
             return (is_option(p[1]) ? "не задан обязательный параметр " : "не задан обязательный аргумент ") + p[1].str();
         }},
        {is_a<CLI::ExtrasError>, std::regex("The following argument was not expected: (-\\S*)"),
         [](const std::smatch& p) { return "неизвестный параметр " + p[1].str(); }},
        {is_a<CLI::ExtrasError>, std::regex("The following argument was not expected: (.*)"),
         [](const std::smatch& p) { return "лишний аргумент «" + p[1].str() + "»"; }},
        {is_a<CLI::ExtrasError>, std::regex("The following arguments were not expected: (.*)"),
         [](const std::smatch& p) { return "лишние аргументы: " + in_command_line_order(p[1]); }},
        {is_a<CLI::ValidationError>, std::regex("(\\S+): (.*) not in \\{(.*)\\}"),
         [](const std::smatch& p) {
             return p[1].str() + ": недопустимое значение «" + p[2].str() + "»; можно: " + listed(p[3]);
         }},
        {is_a<CLI::ValidationError>, std::regex("(\\S+): Value (.*) not in range (\\S+) to (\\S+)"),
         [](const std::smatch& p) {
             return p[1].str() + ": нужно число от " + plain_number(p[3]) + " до " + plain_number(p[4]) + ", а не «"
                    + p[2].str() + "»";
         }},
        {is_a<CLI::ValidationError>, std::regex("(\\S+): Value (.*) could not be converted"),
         [](const std::smatch& p) { return p[1].str() + ": «" + p[2].str() + "» — не число"; }},
        {is_a<CLI::ArgumentMismatch>, std::regex("(\\S+): 1 required .* missing"),
         [](const std::smatch& p) { return p[1].str() + ": не задано значение"; }},
        {is_a<CLI::ArgumentMismatch>, std::regex("(\\S+): (\\d+) required .* missing"),
         [](const std::smatch& p) { return p[1].str() + ": не хватает значений, нужно " + p[2].str(); }},
        {is_a<CLI::ArgumentMismatch>, std::regex("(\\S+): At Most 1 required but received \\d+"),
         [](const std::smatch& p) { return p[1].str() + " задан несколько раз, а можно только один"; }},
        {is_a<CLI::ArgumentMismatch>, std::regex("(\\S+): At Most (\\d+) required but received (\\d+)"),
         [](const std::smatch& p) {
             return p[1].str() + ": значений " + p[3].str() + ", а можно не больше " + p[2].str();
         }},
        {is_a<CLI::ArgumentMismatch>, std::regex("(\\S+): At least (\\d+) required but received (\\d+)"),
         [](const std::smatch& p) {
             return p[1].str() + ": значений " + p[3].str() + ", а нужно не меньше " + p[2].str();
         }},
        {is_a<CLI::ArgumentMismatch>, std::regex("Expected (?:exactly|at least) (\\d+) arguments to (\\S+), got (\\d+)"),
         [](const std::smatch& p) {
             return p[2].str() + ": значений " + p[3].str() + ", а нужно " + p[1].str();
         }},
        {is_a<CLI::ArgumentMismatch>, std::regex("(\\S+) was given a disallowed flag override"),
         [](const std::smatch& p) { return p[1].str() + " не принимает значения"; }},
        {is_a<CLI::ConversionError>, std::regex("The value (.*) is not an allowed value for (\\S+)"),
         [](const std::smatch& p) { return p[2].str() + ": недопустимое значение «" + p[1].str() + "»"; }},
        {is_a<CLI::ConversionError>, std::regex("Could not convert: (\\S+) = (.*)"),
         [](const std::smatch& p) { return p[1].str() + ": не удалось понять значение «" + p[2].str() + "»"; }},
        {is_a<CLI::ConversionError>, std::regex("(\\S+): too many inputs for a flag"),
         [](const std::smatch& p) { return p[1].str() + " не принимает значения"; }},
        {is_a<CLI::ConversionError>, std::regex("(\\S+): Should be true/false or a number"),
         [](const std::smatch& p) { return p[1].str() + ": нужно true, false или число"; }},
        {is_a<CLI::ExcludesError>, std::regex("(\\S+) excludes (\\S+)"),
         [](const std::smatch& p) { return p[1].str() + " и " + p[2].str() + " нельзя задать вместе"; }},
        {is_a<CLI::RequiresError>, std::regex("(\\S+) requires (\\S+)"),
         [](const std::smatch& p) { return p[1].str() + " задаётся только вместе с " + p[2].str(); }},
        {is_a<CLI::ValidationError>, std::regex("(\\S+): .*"),
         [](const std::smatch& p) { return p[1].str() + ": недопустимое значение"; }},
    };
    return table;
}

} // namespace

HelpFormatter::HelpFormatter()
{
    label("Usage", "Запуск");
    label("OPTIONS", "ПАРАМЕТРЫ");
    label("SUBCOMMAND", "ПОДКОМАНДА");
    label("SUBCOMMANDS", "ПОДКОМАНДЫ");
    label("Positionals", "Аргументы");
    label("REQUIRED", "ОБЯЗАТЕЛЬНО");
    label("TEXT", "ТЕКСТ");
    label("FLOAT", "ЧИСЛО");
    label("INT", "ЧИСЛО");
    label("UINT", "ЧИСЛО");
    label("Env", "переменная");
    label("Needs", "только с");
    label("Excludes", "не вместе с");
    column_width(description_column);
}

std::string HelpFormatter::two_columns(const std::string& name, const std::string& description)
{
    std::string text = "  " + name;
    if (description.empty())
        return text + "\n";
    const std::size_t used = display_width(text);
    if (used >= description_column)
        text += "\n" + std::string(description_column, ' ');
    else
        text.append(description_column - used, ' ');
    const std::vector<std::string> lines = wrapped(description, line_width - description_column);
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += (i == 0 ? "" : "\n" + std::string(description_column, ' ')) + lines[i];
    return text + "\n";
}

std::string HelpFormatter::make_option(const CLI::Option* option, bool is_positional) const
{
    return two_columns(make_option_name(option, is_positional) + make_option_opts(option), make_option_desc(option));
}

std::string HelpFormatter::make_subcommand(const CLI::App* command) const
{
    return two_columns(command->get_display_name(true), command->get_description());
}

std::string HelpFormatter::make_description(const CLI::App* app) const
{
    std::string description = app->get_description();
    if (app->get_required())
        description += " (" + get_label("REQUIRED") + ")";
    std::string text;
    for (const std::string& line : wrapped(description, line_width))
        text += line + "\n";
    return description.empty() ? std::string() : text;
}

std::string HelpFormatter::value_text(const CLI::Option* option) const
{
    // CLI11 names the value by its type and then each check's description, after colons.
    const std::string type = option->get_type_name();
    const std::size_t colon = type.find(':');
    if (colon == std::string::npos)
        return get_label(type);
    const std::string check = type.substr(colon + 1);
    static const std::regex range("(\\w+) (?:in|bounded to) \\[(\\S+) - (\\S+)\\]");
    std::smatch part;
    if (std::regex_match(check, part, range))
        return get_label(part[1]) + " от " + plain_number(part[2]) + " до " + plain_number(part[3]);
    return check; // a set of values, or the placeholder of a check of ours
}

std::string HelpFormatter::make_option_opts(const CLI::Option* option) const
{
    if (!option->get_option_text().empty())
        return " " + option->get_option_text();
    std::string text;
    if (option->get_type_size() != 0) {
        if (!option->get_type_name().empty())
            text += " " + value_text(option);
        if (!option->get_default_str().empty())
            text += "=" + option->get_default_str();
        if (option->get_expected_max() == CLI::detail::expected_max_vector_size)
            text += " ...";
        else if (option->get_expected_min() > 1)
            text += " x " + std::to_string(option->get_expected());
        if (option->get_required())
            text += " " + get_label("REQUIRED");
    }
    if (!option->get_envname().empty())
        text += " (" + get_label("Env") + " " + option->get_envname() + ")";
    if (!option->get_needs().empty()) {
        text += " " + get_label("Needs");
        for (const CLI::Option* other : option->get_needs())
            text += " " + other->get_name();
    }
    if (!option->get_excludes().empty()) {
        text += " " + get_label("Excludes");
        for (const CLI::Option* other : option->get_excludes())
            text += " " + other->get_name();
    }
    return text;
}

std::string usage_error_text(const CLI::Error& error)
{
    const std::string detail = error.what();
    // A check of ours words its own message after the name of the option.
    if (is_a<CLI::ValidationError>(error) && is_ours(detail))
        return detail;
    for (const Wording& wording : wordings()) {
        std::smatch part;
        if (wording.kind(error) && std::regex_match(detail, part, wording.pattern))
            return wording.sentence(part);
    }
    return "неверная командная строка";
}

} // namespace dravinex_cli
