#include "lib/Float_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace lib {

namespace {

constexpr double exact_powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The double a correct parser makes of the text [first, last) as to_chars writes it. Short
// mantissas with small exponents take one exactly rounded multiply or divide (the classic
// fast path); anything else goes through from_chars.
double read_as_double(const char* first, const char* last)
{
    std::uint64_t mantissa = 0;
    int digits = 0;
    int exponent = 0;
    bool after_dot = false;
    const char* p = first;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    for (; p != last && *p != 'e'; ++p) {
        if (*p == '.') {
            after_dot = true;
            continue;
        }
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        digits += mantissa != 0;
        exponent -= after_dot; // digits after the dot lower the exponent
    }
    if (p != last) {
        int written = 0;
        std::from_chars(p + (p[1] == '+' ? 2 : 1), last, written);
        exponent += written;
    }
    if (digits > 15 || exponent > 22 || exponent < -22) {
        double value = 0;
        std::from_chars(first, last, value);
        return value;
    }
    double value = static_cast<double>(mantissa);
    value = exponent >= 0 ? value * exact_powers_of_ten[exponent] : value / exact_powers_of_ten[-exponent];
    return negative ? -value : value;
}

// Whether the shortest text of a value may read back wrong through a double. That needs the
// text's decimal to lie within half a double step of a midpoint between two floats, which
// the granularity of the two forbids unless its last digit stands at 1e-13 or below or the
// value reaches 2^53; with at most nine digits, a value of 1e-3 or more has its last digit
// at 1e-12 or above. So only values outside [1e-3, 2^53) need reading back.
bool may_read_back_wrong(float value)
{
    const float magnitude = std::fabs(value);
    return !(magnitude >= 1e-3f && magnitude < 0x1p53f);
}

} // namespace

char* write_float(char* out, float value)
{
    // Without a precision to_chars gives the shortest text that reads back as this float.
    auto result = std::to_chars(out, out + float_text_capacity, value);
    // Many readers parse a double and narrow it to float. For a few values (7.038531e-26 is
    // one) that double rounding lands on the neighbour; those get the value's exact double
    // digits, which read back right either way.
    if (may_read_back_wrong(value) && static_cast<float>(read_as_double(out, result.ptr)) != value)
        result = std::to_chars(out, out + float_text_capacity, static_cast<double>(value));
    return result.ptr;
}

std::string float_text(float value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "Infinity" : "-Infinity";
    char buffer[float_text_capacity];
    return std::string(buffer, write_float(buffer, value));
}

} // namespace lib
