// LAS mnemonics: well-log programs expect short Latin names without blanks, dots or colons,
// and one name per curve. Parameter texts are Russian, so Cyrillic is spelt in Latin.

#include "storage/Export.h"

#include "lib/Utf8.h"

#include <algorithm>
#include <optional>
#include <string>

namespace data_export {

namespace {

// Latin spelling of а..я (U+0430..U+044F), the usual passport style.
constexpr std::string_view russian_latin[32] = {"A", "B",  "V",  "G",  "D",   "E", "ZH", "Z",  "I",  "Y", "K",
                                                "L", "M",  "N",  "O",  "P",   "R", "S",  "T",  "U",  "F", "KH",
                                                "TS", "CH", "SH", "SHCH", "", "Y", "",   "E",  "YU", "YA"};

// The Latin spelling of one Cyrillic letter; nullopt for anything else.
std::optional<std::string_view> latin_of(char32_t c)
{
    if (c >= 0x0410 && c <= 0x042F) // А..Я
        c += 0x20;
    if (c >= 0x0430 && c <= 0x044F)
        return russian_latin[c - 0x0430];
    switch (c) {
    case 0x0401: case 0x0451: return "E";  // Ё ё
    case 0x0406: case 0x0456: return "I";  // І і
    case 0x0407: case 0x0457: return "YI"; // Ї ї
    case 0x0404: case 0x0454: return "YE"; // Є є
    case 0x0490: case 0x0491: return "G";  // Ґ ґ
    case 0x040E: case 0x045E: return "U";  // Ў ў
    default: return std::nullopt;
    }
}

void append_separator(std::string& mnemonic)
{
    if (!mnemonic.empty() && mnemonic.back() != '_')
        mnemonic += '_';
}

std::string upper_ascii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace

std::string las_mnemonic(std::string_view text)
{
    std::string mnemonic;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const lib::utf8::Step step = lib::utf8::next(bytes + i, text.size() - i);
        i += step.length;
        const char32_t c = step.code_point;
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            mnemonic += static_cast<char>(c);
        else if (c >= 'a' && c <= 'z')
            mnemonic += static_cast<char>(c - 'a' + 'A');
        else if (const auto latin = latin_of(c))
            mnemonic += *latin;
        else
            append_separator(mnemonic);
    }
    while (!mnemonic.empty() && mnemonic.back() == '_')
        mnemonic.pop_back();
    const auto first = mnemonic.find_first_not_of('_');
    mnemonic.erase(0, first == std::string::npos ? mnemonic.size() : first);
    return mnemonic.empty() ? std::string("CURVE") : mnemonic;
}

std::vector<std::string> unique_mnemonics(const std::vector<std::string>& wanted, std::vector<std::string>& taken)
{
    const auto is_taken = [&taken](const std::string& name) {
        const std::string upper = upper_ascii(name);
        return std::any_of(taken.begin(), taken.end(),
                           [&upper](const std::string& other) { return upper_ascii(other) == upper; });
    };
    std::vector<std::string> result;
    result.reserve(wanted.size());
    // Mnemonics are ASCII, so characters are bytes; a cut leaves no '_' at the end.
    const auto cut = [](std::string text, std::size_t length) {
        if (text.size() > length)
            text.resize(length);
        while (text.size() > 1 && text.back() == '_')
            text.pop_back();
        return text;
    };
    for (const std::string& text : wanted) {
        const std::string base = las_mnemonic(text);
        std::string name = cut(base, max_mnemonic_length);
        for (int suffix = 2; is_taken(name); ++suffix) {
            const std::string tail = "_" + std::to_string(suffix);
            name = cut(base, max_mnemonic_length - tail.size()) + tail;
        }
        taken.push_back(name);
        result.push_back(name);
    }
    return result;
}

} // namespace data_export
