// UTF-8 file encoding and the letter-case helpers for program text.

#include "lib/Strworks.h"
#include "lib/Utf8.h"

#include <algorithm>

namespace lib {
namespace {

// Copies `count` bytes to `out`, turning each ill-formed piece into U+FFFD; returns bytes written.
// `out` must hold max_growth * count bytes.
std::size_t copy_sanitised(const char* in, std::size_t count, char* out)
{
    std::size_t written = 0;
    std::size_t i = 0;
    while (i < count) {
        if (static_cast<unsigned char>(in[i]) < 0x80) {
            out[written++] = in[i++];
            continue;
        }
        const utf8::Step step = utf8::next(in + i, count - i);
        if (step.valid) {
            std::copy_n(in + i, step.length, out + written);
            written += step.length;
        } else {
            written += utf8::encode(utf8::replacement, out + written);
        }
        i += step.length;
    }
    return written;
}

char32_t lower_latin1(char32_t cp)
{
    constexpr char32_t multiplication_sign = 0xD7;
    if (cp >= 0xC0 && cp <= 0xDE && cp != multiplication_sign) return cp + 0x20;
    return cp;
}

// Cyrillic U+0400..U+04FF: two straight blocks, then the historic and extended letters that
// come in upper/lower pairs (upper at the even or odd position depending on the block).
char32_t lower_cyrillic(char32_t cp)
{
    constexpr char32_t palochka = 0x04C0;
    constexpr char32_t palochka_lower = 0x04CF;
    if (cp <= 0x040F) return cp + 0x50;
    if (cp <= 0x042F) return cp + 0x20;
    const bool even = cp % 2 == 0;
    if ((cp >= 0x0460 && cp <= 0x0481) || (cp >= 0x048A && cp <= 0x04BF) || (cp >= 0x04D0 && cp <= 0x04FF))
        return even ? cp + 1 : cp;
    if (cp == palochka) return palochka_lower;
    if (cp >= 0x04C1 && cp <= 0x04CE) return even ? cp : cp + 1;
    return cp;
}

char32_t lower_code_point(char32_t cp)
{
    if (cp >= 'A' && cp <= 'Z') return cp + ('a' - 'A');
    if (cp < 0x80) return cp;
    if (cp <= 0xFF) return lower_latin1(cp);
    if (cp >= 0x0400 && cp <= 0x04FF) return lower_cyrillic(cp);
    return cp;
}

// Length in bytes of the character (or ill-formed piece) at `pos`.
std::size_t unit_length(std::string_view text, std::size_t pos)
{
    return utf8::next(text.data() + pos, text.size() - pos).length;
}

constexpr char any_run = '*';
constexpr char any_one = '?';

// Greedy matching with one remembered star: on a mismatch the last star takes one more
// character, so the work stays proportional to mask length times name length.
bool glob_lowered(std::string_view mask, std::string_view name)
{
    std::size_t m = 0;
    std::size_t n = 0;
    bool have_star = false;
    std::size_t star_mask = 0;
    std::size_t star_name = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == any_run) {
            have_star = true;
            star_mask = ++m;
            star_name = n;
            continue;
        }
        if (m < mask.size()) {
            const std::size_t mask_len = unit_length(mask, m);
            const std::size_t name_len = unit_length(name, n);
            if (mask[m] == any_one || mask.substr(m, mask_len) == name.substr(n, name_len)) {
                m += mask_len;
                n += name_len;
                continue;
            }
        }
        if (!have_star) return false;
        star_name += unit_length(name, star_name);
        m = star_mask;
        n = star_name;
    }
    while (m < mask.size() && mask[m] == any_run) ++m;
    return m == mask.size();
}

} // namespace

void StrEncConverterUTF8::to_wide(const char* bytes, std::size_t count, std::string& out)
{
    out.resize(count * utf8::max_growth);
    out.resize(copy_sanitised(bytes, count, out.data()));
}

std::size_t StrEncConverterUTF8::to_multibyte(const char* text, std::size_t count, ByteBuffer& out)
{
    out.resize(count * utf8::max_growth);
    const std::size_t written = copy_sanitised(text, count, out.data());
    out.resize(written);
    return written;
}

bool is_valid_utf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const utf8::Step step = utf8::next(bytes.data() + i, bytes.size() - i);
        if (!step.valid) return false;
        i += step.length;
    }
    return true;
}

std::string to_lower(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const utf8::Step step = utf8::next(text.data() + i, text.size() - i);
        if (step.valid)
            utf8::append(out, lower_code_point(step.code_point));
        else
            out.append(text.substr(i, step.length)); // ill-formed bytes stay as they are
        i += step.length;
    }
    return out;
}

bool equals_ignore_case(std::string_view a, std::string_view b)
{
    return to_lower(a) == to_lower(b);
}

bool mask_matches(std::string_view mask, std::string_view name)
{
    // As in the usual file search, a trailing ".*" also accepts a name without that extension,
    // which is what makes "*.*" match every name.
    constexpr std::string_view any_extension = ".*";
    const std::string lowered_mask = to_lower(mask);
    const std::string lowered_name = to_lower(name);
    if (glob_lowered(lowered_mask, lowered_name)) return true;
    const std::string_view view = lowered_mask;
    return view.ends_with(any_extension) &&
           glob_lowered(view.substr(0, view.size() - any_extension.size()), lowered_name);
}

namespace {

// The byte's place in UTF-16 order. Lead bytes F0..F4 open surrogate pairs (D800..DBFF),
// which come before the characters that EE and EF open (U+E000..U+FFFF); every other byte
// keeps its place. Being a permutation of the byte values, it orders any bytes totally, and
// continuation bytes are never moved.
unsigned utf16_place(unsigned char byte)
{
    if (byte >= 0xF0)
        return byte - 0xF0 + 0xEE;
    if (byte >= 0xEE)
        return byte - 0xEE + 0xFE;
    return byte;
}

} // namespace

int compare_utf16(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned x = utf16_place(static_cast<unsigned char>(a[i]));
        const unsigned y = utf16_place(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

} // namespace lib
