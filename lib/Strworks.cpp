// The converter front object and the small text helpers (trim, tokenizer, unquote).

#include "lib/Strworks.h"

#include <algorithm>
#include <cstring>

namespace lib {
namespace {

constexpr char blank = ' ';
constexpr char double_quote = '"';
constexpr unsigned char last_control = 32; // trim drops characters with codes up to this

bool is_trimmed(char c)
{
    return static_cast<unsigned char>(c) <= last_control;
}

void split_with_separator(std::string_view text, std::vector<std::string>& list, char separator)
{
    // Every separator stands for a whole CR LF, so a CR or LF that is itself the separator
    // never pairs up with its neighbour.
    std::string lines;
    lines.reserve(text.size() * 2);
    for (const char c : text) {
        if (c == separator)
            lines += "\r\n";
        else
            lines += c;
    }
    for (const std::string_view line : split_lines(lines))
        list.emplace_back(line);
}

// Blank-separated words; a word opened by a double quote runs to the next double quote.
void split_words(std::string_view text, std::vector<std::string>& list)
{
    std::string rest = trim(text);
    while (!rest.empty()) {
        std::size_t word_begin = 0;
        std::size_t word_end = 0;
        std::size_t consumed = 0;
        if (rest.front() == double_quote) {
            word_begin = 1;
            word_end = std::min(rest.find(double_quote, 1), rest.size());
        } else {
            word_end = std::min(rest.find(blank), rest.size());
        }
        consumed = std::min(word_end + 1, rest.size()); // the closing quote or the blank
        list.emplace_back(rest, word_begin, word_end - word_begin);
        rest = trim(std::string_view(rest).substr(consumed));
    }
}

} // namespace

std::vector<std::string_view> split_lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == '\r')
            ++pos;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;
    }
    return lines;
}

std::unique_ptr<StrBufConverter> make_converter(StrEncoding id)
{
    switch (id) {
    case enc_866: return std::make_unique<StrEncConverter866>();
    case enc_1251: return std::make_unique<StrEncConverter1251>();
    case enc_utf8: return std::make_unique<StrEncConverterUTF8>();
    default: return nullptr;
    }
}

StrEncConverter::StrEncConverter(StrEncoding id)
{
    set_encoding(id);
}

void StrEncConverter::set_encoding(StrEncoding id)
{
    if (id == encoding_) return;
    converter_ = make_converter(id);
    encoding_ = id;
}

std::string StrEncConverter::decode(const char* bytes)
{
    if (bytes == nullptr) return {};
    return decode(bytes, std::strlen(bytes));
}

std::string StrEncConverter::decode(const char* bytes, std::size_t limit)
{
    if (bytes == nullptr || limit == 0 || !converter_) return {};
    // memchr looks at no more than `limit` bytes, so an unterminated view is safe.
    const void* zero = std::memchr(bytes, 0, limit);
    const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - bytes) : limit;
    if (length == 0) return {};
    converter_->to_wide(bytes, length, wide_);
    return wide_;
}

const char* StrEncConverter::encode(std::string_view text, ByteBuffer& out)
{
    out.clear();
    if (!text.empty() && converter_) converter_->to_multibyte(text.data(), text.size(), out);
    out.push_back('\0');
    return out.data();
}

StrCharCvt::StrCharCvt(std::string_view text) : buffer_(text.begin(), text.end())
{
    buffer_.push_back('\0');
}

std::string trim(std::string_view text)
{
    const auto first = std::find_if_not(text.begin(), text.end(), is_trimmed);
    const auto last = std::find_if_not(text.rbegin(), std::make_reverse_iterator(first), is_trimmed).base();
    return std::string(first, last);
}

void split_string(std::string_view text, std::vector<std::string>& list, char separator)
{
    list.clear();
    if (trim(text).empty()) return;
    if (separator == blank)
        split_words(text, list);
    else
        split_with_separator(text, list, separator);
}

void StringContainer::set_text(std::string_view text, char separator)
{
    split_string(trim(text), tokens_, separator);
    cursor_ = 0;
}

std::string StringContainer::get(int index)
{
    if (index == -1) {
        index = cursor_;
        // Stop counting once past the end: every further read gives "" anyway.
        if (cursor_ < count()) ++cursor_;
    }
    if (index < 0 || index >= count()) return {};
    return tokens_[static_cast<std::size_t>(index)];
}

std::string third_word(std::string_view text)
{
    StringContainer words;
    words.set_text(text, blank);
    return words.get(2);
}

std::string unquote(std::string_view text, char quote)
{
    std::string trimmed = trim(text);
    if (trimmed.empty() || trimmed.front() != quote || trimmed.back() != quote) return trimmed;
    // A lone quote character both opens and closes: nothing lies between.
    if (trimmed.size() < 2) return {};
    return trimmed.substr(1, trimmed.size() - 2);
}

} // namespace lib
