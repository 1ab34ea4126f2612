// Single-byte Cyrillic code pages 1251 and 866 through our own tables, so the results do not
// depend on the installed locales.

#include "lib/Strworks.h"
#include "lib/Utf8.h"

#include <algorithm>
#include <array>
#include <span>

namespace lib {
namespace {

constexpr std::size_t high_half_size = 128;
constexpr unsigned char first_high_byte = 0x80;
constexpr char unmapped_byte = '?';

using HighHalf = std::array<char16_t, high_half_size>;

// Bytes 0x80..0xFF of code page 1251; 0x98 is unassigned there and reads as U+FFFD.
constexpr HighHalf cp1251_high = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
};

// Bytes 0x80..0xFF of code page 866.
constexpr HighHalf cp866_high = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // 80
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // 88
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // 90
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // 98
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // A0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // E0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // E8
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E, // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0, // F8
};

// Reverse lookup, sorted by code point, built at compile time from the table above.
struct ReverseEntry {
    char32_t code_point;
    unsigned char byte;
};
using ReverseTable = std::array<ReverseEntry, high_half_size>;

// Never produced by the decoder, so an unassigned slot can never be hit by a lookup.
constexpr char32_t no_code_point = utf8::max_code_point + 1;

constexpr ReverseTable make_reverse(const HighHalf& high)
{
    ReverseTable reverse{};
    for (std::size_t i = 0; i < high_half_size; ++i) {
        // The unassigned slot reads as U+FFFD but a real U+FFFD must not write it back.
        const char32_t cp = high[i] == utf8::replacement ? no_code_point : high[i];
        reverse[i] = {cp, static_cast<unsigned char>(first_high_byte + i)};
    }
    std::sort(reverse.begin(), reverse.end(),
              [](const ReverseEntry& a, const ReverseEntry& b) { return a.code_point < b.code_point; });
    return reverse;
}

constexpr ReverseTable cp1251_reverse = make_reverse(cp1251_high);
constexpr ReverseTable cp866_reverse = make_reverse(cp866_high);

struct CodePage {
    const char16_t* high_half;
    std::span<const ReverseEntry> reverse;
};

CodePage find_code_page(unsigned number)
{
    switch (number) {
    case 1251: return {cp1251_high.data(), cp1251_reverse};
    case 866: return {cp866_high.data(), cp866_reverse};
    default: return {nullptr, {}};
    }
}

char lookup_byte(std::span<const ReverseEntry> reverse, char32_t cp)
{
    const auto it = std::lower_bound(reverse.begin(), reverse.end(), cp,
                                     [](const ReverseEntry& e, char32_t value) { return e.code_point < value; });
    if (it == reverse.end() || it->code_point != cp) return unmapped_byte;
    return static_cast<char>(it->byte);
}

} // namespace

StrEncConverterSimpleMB::StrEncConverterSimpleMB(unsigned code_page)
    : code_page_(code_page), high_half_(find_code_page(code_page).high_half)
{
}

void StrEncConverterSimpleMB::to_wide(const char* bytes, std::size_t count, std::string& out)
{
    // Each byte becomes at most three bytes of UTF-8 (all table entries lie in the BMP).
    out.resize(count * utf8::max_growth);
    std::size_t written = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < first_high_byte) {
            out[written++] = static_cast<char>(byte);
            continue;
        }
        const char32_t cp = high_half_ ? high_half_[byte - first_high_byte] : utf8::replacement;
        written += utf8::encode(cp, out.data() + written);
    }
    out.resize(written);
}

std::size_t StrEncConverterSimpleMB::to_multibyte(const char* text, std::size_t count, ByteBuffer& out)
{
    const std::span<const ReverseEntry> reverse = find_code_page(code_page_).reverse;
    // One byte per character, and every character (or ill-formed piece) takes at least one byte.
    out.resize(count);
    std::size_t written = 0;
    std::size_t i = 0;
    while (i < count) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < first_high_byte) {
            out[written++] = static_cast<char>(byte);
            ++i;
            continue;
        }
        const utf8::Step step = utf8::next(text + i, count - i);
        out[written++] = step.valid ? lookup_byte(reverse, step.code_point) : unmapped_byte;
        i += step.length;
    }
    out.resize(written);
    return written;
}

} // namespace lib
