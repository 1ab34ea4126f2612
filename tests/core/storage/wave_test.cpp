#include "storage/wave/Wave.h"

#include "storage/Realtimedatareader.h"
#include "support/Expect.h"
#include "testkit/Bytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numeric>
#include <random>

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

namespace {

// One level written out plainly, output by output: approximation band first, taps in
// increasing order, each band index wrapping to the band's end whenever it falls below 0.
wave::float_vector plain_step(const wave::float_vector& input, std::size_t n)
{
    wave::float_vector output(n);
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
        output[i] = sum * std::sqrt(2.0);
    }
    return output;
}

wave::float_vector random_values(std::size_t n, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> value(-1000, 1000);
    wave::float_vector values(n);
    for (double& v : values)
        v = value(rng);
    return values;
}

} // namespace

TEST(Wavelet, OneStepEqualsThePlainSumsBitForBitAtEveryLength)
{
    // Tiny levels whose indexes wrap more than once, odd lengths, lengths just around the
    // filter's half and the vector blocks, and the transform's own sizes.
    for (const std::size_t n : {2u, 3u, 4u, 5u, 7u, 16u, 27u, 28u, 29u, 30u, 31u, 32u, 33u, 45u, 46u, 47u, 48u, 49u,
                                63u, 64u, 65u, 66u, 100u, 127u, 128u, 129u, 1024u, 1031u}) {
        const wave::float_vector input = random_values(n, static_cast<std::uint32_t>(n));
        wave::float_vector fast;
        coiflet.synthesis_step(input, fast, n);
        const wave::float_vector plain = plain_step(input, n);
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_EQ(fast[i], plain[i]) << "n " << n << " at " << i; // bit for bit
    }
}

TEST(Wavelet, AReconstructionEqualsThePlainStepsBitForBit)
{
    // 96 is not 64 x 2^m: its last 32 coefficients are left as they are.
    for (const std::size_t total : {64u, 96u, 128u, 256u, 4096u}) {
        const wave::float_vector coefficients = random_values(total, static_cast<std::uint32_t>(total) + 1);
        wave::float_vector work = coefficients;
        for (std::size_t n = wave::base_level; n <= total; n *= 2) {
            const wave::float_vector level = plain_step(work, n);
            std::copy(level.begin(), level.end(), work.begin());
        }
        wave::float_vector output = {1.0, 2.0}; // whatever it held before is replaced
        coiflet.reconstruct(coefficients, output);
        ASSERT_EQ(output.size(), total);
        for (std::size_t i = 0; i < total; ++i)
            ASSERT_EQ(output[i], work[i]) << "N " << total << " at " << i;
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
