#pragma once
// Internal UTF-8 stepping shared by the encoding converters and the letter-case helpers.
//
// Decoding follows the "maximal subpart" rule: an ill-formed sequence is cut at the first byte
// that cannot continue it, so each cut piece becomes exactly one replacement character.

#include <cstddef>
#include <string>

namespace lib::utf8 {

inline constexpr char32_t replacement = 0xFFFD;
inline constexpr char32_t max_code_point = 0x10FFFF;
// Rewriting text with ill-formed bytes as U+FFFD needs at most this many bytes per input byte
// (one stray byte becomes EF BF BD).
inline constexpr std::size_t max_growth = 3;

struct Step {
    char32_t code_point; // replacement when !valid
    std::size_t length;  // bytes consumed, at least 1 when any input is left
    bool valid;
};

namespace detail {

inline constexpr unsigned char cont_low = 0x80;
inline constexpr unsigned char cont_high = 0xBF;

// Allowed range of the second byte for a given lead; later bytes are always 80..BF.
struct LeadInfo {
    std::size_t length;
    unsigned char second_low;
    unsigned char second_high;
};

constexpr LeadInfo lead_info(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) return {2, cont_low, cont_high};
    if (lead == 0xE0) return {3, 0xA0, cont_high};               // no overlongs
    if (lead == 0xED) return {3, cont_low, 0x9F};                // no surrogates
    if (lead >= 0xE1 && lead <= 0xEF) return {3, cont_low, cont_high};
    if (lead == 0xF0) return {4, 0x90, cont_high};               // no overlongs
    if (lead >= 0xF1 && lead <= 0xF3) return {4, cont_low, cont_high};
    if (lead == 0xF4) return {4, cont_low, 0x8F};                // nothing past U+10FFFF
    return {0, 0, 0};                                            // 80..C1, F5..FF never lead
}

constexpr char32_t lead_bits(unsigned char lead, std::size_t length)
{
    switch (length) {
    case 2: return lead & 0x1Fu;
    case 3: return lead & 0x0Fu;
    default: return lead & 0x07u;
    }
}

} // namespace detail

// Decodes one code point from `p` (with `n` > 0 bytes available); never reads past `n`.
constexpr Step next(const unsigned char* p, std::size_t n)
{
    const unsigned char lead = p[0];
    if (lead < 0x80) return {lead, 1, true};

    const detail::LeadInfo info = detail::lead_info(lead);
    if (info.length == 0) return {replacement, 1, false};

    char32_t cp = detail::lead_bits(lead, info.length);
    for (std::size_t i = 1; i < info.length; ++i) {
        if (i >= n) return {replacement, i, false};
        const unsigned char low = i == 1 ? info.second_low : detail::cont_low;
        const unsigned char high = i == 1 ? info.second_high : detail::cont_high;
        if (p[i] < low || p[i] > high) return {replacement, i, false};
        cp = (cp << 6) | (p[i] & 0x3Fu);
    }
    return {cp, info.length, true};
}

inline Step next(const char* p, std::size_t n)
{
    return next(reinterpret_cast<const unsigned char*>(p), n);
}

// Writes `cp` (a valid scalar value) at `out`; returns the number of bytes written.
constexpr std::size_t encode(char32_t cp, char* out)
{
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

inline void append(std::string& out, char32_t cp)
{
    char bytes[4];
    out.append(bytes, encode(cp, bytes));
}

} // namespace lib::utf8
