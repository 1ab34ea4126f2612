#include "lib/Float_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

// How most CSV and LAS readers take a number: as a double, narrowed to float.
float narrowed(const std::string& text)
{
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return static_cast<float>(value);
}

} // namespace

TEST(FloatText, EveryFloatReadsBackAsFloatAndAsNarrowedDouble)
{
    std::mt19937 rng(5);
    char buffer[lib::float_text_capacity];
    int checked = 0;
    // Random bit patterns cover every exponent; the listed ones are known double-rounding cases.
    std::vector<std::uint32_t> patterns = {0x15ae43fdu, 0x00000001u, 0x7f7fffffu, 0x3dcccccdu, 0x80000000u};
    for (int i = 0; i < 200000; ++i)
        patterns.push_back(static_cast<std::uint32_t>(rng()));
    for (const std::uint32_t bits : patterns) {
        const float value = std::bit_cast<float>(bits);
        if (!std::isfinite(value))
            continue;
        char* const end = lib::write_float(buffer, value);
        const std::string text(buffer, end);
        float as_single = 0;
        std::from_chars(buffer, end, as_single);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(as_single), bits) << text;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(narrowed(text)), bits) << text;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}
