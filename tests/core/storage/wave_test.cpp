#include "storage/wave/Wave.h"

#include "storage/Realtimedatareader.h"
#include "support/Expect.h"
#include "testkit/Bytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numeric>

using testsupport::message_of;

namespace {

const wave::wavelet coiflet(wave::coiflet5_lowpass, 30);

// A wavelet column body: N, then blocks of low, high, L and 16-bit codes.
struct Block {
    float low;
    float high;
    std::uint32_t levels;
    std::vector<std::uint16_t> codes;
};

std::unique_ptr<lib::io::BinaryMemoryInputStream> column_stream(std::int32_t count, const std::vector<Block>& blocks)
{
    testkit::ByteWriter out;
    out.put_i32(count);
    for (const Block& b : blocks) {
        out.put_f32(b.low).put_f32(b.high).put_u32(b.levels).put_i32(static_cast<std::int32_t>(b.codes.size()));
        for (const std::uint16_t code : b.codes)
            out.put_u8(static_cast<std::uint8_t>(code & 0xFF));
        for (const std::uint16_t code : b.codes)
            out.put_u8(static_cast<std::uint8_t>(code >> 8));
    }
    auto in = std::make_unique<lib::io::BinaryMemoryInputStream>();
    in->set_data(out.bytes().data(), out.bytes().size());
    return in;
}

} // namespace

TEST(Wavelet, TheFiltersAreTheStoredTableAndItsMirror)
{
    const wave::float_vector& low = coiflet.lowpass();
    const wave::float_vector& high = coiflet.highpass();
    ASSERT_EQ(low.size(), 30u);
    EXPECT_EQ(low[10], 0.77428960373039);
    EXPECT_NEAR(std::accumulate(low.begin(), low.end(), 0.0), std::sqrt(2.0), 1e-9);
    for (std::size_t k = 0; k < 30; ++k)
        EXPECT_EQ(high[k], (k % 2 ? -1.0 : 1.0) * low[29 - k]) << k;
}

TEST(Wavelet, AConstantApproximationReconstructsToTheConstant)
{
    for (const std::size_t n : {64u, 128u, 1024u}) {
        const double a = 3.75;
        wave::float_vector coefficients(n, 0.0);
        std::fill(coefficients.begin(), coefficients.begin() + 32, a);
        wave::float_vector output;
        coiflet.reconstruct(coefficients, output);
        ASSERT_EQ(output.size(), n);
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_NEAR(output[i], a, 1e-8 * a) << "N " << n << " at " << i;
    }
}

TEST(Wavelet, OneStepFollowsTheStatedSumOrderExactly)
{
    // The same sums written out plainly: approximation band first, taps in increasing order.
    const std::size_t n = 64;
    wave::float_vector input(n);
    for (std::size_t i = 0; i < n; ++i)
        input[i] = std::sin(static_cast<double>(i) * 0.7) * 10 + static_cast<double>(i % 5);
    wave::float_vector fast;
    coiflet.synthesis_step(input, fast, n);
    const std::size_t half = n / 2;
    for (std::size_t i = 0; i < n; ++i) {
        double sum = 0;
        const wave::float_vector* filters[] = {&coiflet.lowpass(), &coiflet.highpass()};
        for (std::size_t band = 0; band < 2; ++band) {
            long idx = static_cast<long>(i / 2);
            for (std::size_t k = 0; k < 15; ++k) {
                sum = sum + (*filters[band])[2 * k + i % 2] * input[band * half + static_cast<std::size_t>(idx)];
                if (--idx < 0)
                    idx = static_cast<long>(half) - 1;
            }
        }
        EXPECT_EQ(fast[i], sum * std::sqrt(2.0)) << i; // bit for bit
    }
}

TEST(WaveletColumn, TwoBlocksFillTheCoefficientsAndTheRestStaysZero)
{
    // 100 codes, then 50: coefficients 150..255 stay 0. Approximation codes of 1 with
    // low 0, high 2, L 1 make the approximation 2; details 0.
    std::vector<std::uint16_t> first(100, 0);
    std::fill(first.begin(), first.begin() + 32, 1);
    auto in = column_stream(256, {{0, 2, 1, first}, {0, 2, 1, std::vector<std::uint16_t>(50, 0)}});
    std::vector<float> column(200, -1.0f);
    wave::decode_wavelet_column(*in, column);
    for (float value : column)
        ASSERT_NEAR(value, 2.0f, 1e-6f);
    EXPECT_TRUE(in->eof());
}

TEST(WaveletColumn, AFirstBlockWithEnoughCodesIsTheOnlyOneRead)
{
    std::vector<std::uint16_t> codes(70, 0);
    std::fill(codes.begin(), codes.begin() + 32, 4);
    auto in = column_stream(64, {{0, 1, 4, codes}});
    std::vector<float> column(10);
    wave::decode_wavelet_column(*in, column);
    EXPECT_NEAR(column[9], 1.0f, 1e-6f);
    EXPECT_TRUE(in->eof()); // codes past N were read and ignored
}

TEST(WaveletColumn, ZeroLevelsMakeEveryCoefficientTheLowValue)
{
    auto in = column_stream(64, {{0.5f, 9, 0, std::vector<std::uint16_t>(64, 7)}});
    std::vector<float> column(64);
    wave::decode_wavelet_column(*in, column);
    EXPECT_TRUE(std::isfinite(column[0]));
}

TEST(WaveletColumn, DamagedCountsAreClearErrors)
{
    struct Case {
        std::int32_t count;
        std::size_t records;
        std::string message;
    };
    const Case cases[] = {
        {100, 10, "Число вейвлет-коэффициентов 100 не равно 64·2^m"},
        {-64, 10, "Число вейвлет-коэффициентов -64 не равно 64·2^m"},
        {0, 0, "Число вейвлет-коэффициентов 0 не равно 64·2^m"},
        {64, 65, "Число вейвлет-коэффициентов 64 не подходит для 65 записей"},
        {1 << 30, 100, "Число вейвлет-коэффициентов 1073741824 не подходит для 100 записей"},
    };
    for (const Case& c : cases) {
        auto in = column_stream(c.count, {});
        std::vector<float> column(c.records);
        EXPECT_EQ(message_of([&] { wave::decode_wavelet_column(*in, column); }), c.message) << c.count;
    }
    auto short_codes = column_stream(64, {});
    std::vector<float> column(64);
    EXPECT_THROW(wave::decode_wavelet_column(*short_codes, column), std::runtime_error); // no block at all
}
