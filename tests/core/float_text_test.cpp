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
    // Values from 1e-3 up to 2^53 are written without reading them back: as many again
    // drawn from that range alone, and its two edges with their neighbours on either side.
    const auto low_edge = std::bit_cast<std::uint32_t>(1e-3f);
    const auto high_edge = std::bit_cast<std::uint32_t>(0x1p53f);
    std::uniform_int_distribution<std::uint32_t> in_range(low_edge, high_edge - 1);
    for (int i = 0; i < 200000; ++i)
        patterns.push_back(in_range(rng) | (i % 2 == 0 ? 0u : 0x80000000u));
    for (const std::uint32_t edge : {low_edge, high_edge})
        for (std::uint32_t bits = edge - 64; bits != edge + 64; ++bits)
            patterns.push_back(bits);
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
