#include "storage/wave/Wave.h"

#include "storage/Compressed_text.h"
#include "storage/Planar_lists.h"

#include <algorithm>
#include <cmath>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wave {

const double coiflet5_lowpass[30] = {
    -0.00021208083983, 0.00035858968793,  0.00217823635833,  -0.0041593587818,  -0.01013111752086,
    0.02340815678818,  0.02816802897375,  -0.09192001056889, -0.05204316318145, 0.42156620673301,
    0.77428960373039,  0.43799162621564,  -0.06203596396911, -0.1055742087139,  0.04128920875431,
    0.03268357427038,  -0.01976177894455, -0.0091642311634,  0.00676418544873,  0.0024333732129,
    -0.00166286370218, -0.00063813134311, 0.00030225958184,  0.00014054114972,  -0.00004134043228,
    -0.00002131502681, 0.00000373465518,  0.00000206376185,  -0.00000016744289, -0.00000009517657,
};

namespace {

constexpr std::size_t blocks_at_most = 2;

} // namespace

bool is_valid_coefficient_count(std::size_t count)
{
    if (count < base_level || count % base_level != 0)
        return false;
    const std::size_t levels = count / base_level;
    return (levels & (levels - 1)) == 0;
}

wavelet::wavelet(const double* filter, std::size_t count) : lowpass_(filter, filter + count)
{
    // The wavelet filter: the scaling filter with even taps negated, in reverse order.
    highpass_ = lowpass_;
    for (std::size_t k = 0; k < highpass_.size(); k += 2)
        highpass_[k] = -highpass_[k];
    std::reverse(highpass_.begin(), highpass_.end());
}

namespace {

// Output pairs (2m, 2m+1) taken together by the vector path: eight pairs, so that eight
// independent sums are under way at once.
constexpr std::size_t pairs_per_block = 8;

#if defined(__SSE2__)

// The sums of eight output pairs, held in registers: even[v] and odd[v] hold the outputs
// 2m and 2m+1 of the pairs m = first + 2v and first + 2v + 1, one per lane.
struct BlockSums {
    __m128d even0, even1, even2, even3;
    __m128d odd0, odd1, odd2, odd3;
};

// Adds one band's taps to the sums, taps in increasing order, a multiply and then an add.
[[gnu::always_inline]] inline void add_band(BlockSums& s, const double* band, const double* filter, std::size_t taps,
                                            std::size_t m)
{
    for (std::size_t k = 0; k < taps; ++k) {
        const __m128d even_tap = _mm_set1_pd(filter[2 * k]);
        const __m128d odd_tap = _mm_set1_pd(filter[2 * k + 1]);
        const double* values = band + m - k;
        const __m128d v0 = _mm_loadu_pd(values);
        const __m128d v1 = _mm_loadu_pd(values + 2);
        const __m128d v2 = _mm_loadu_pd(values + 4);
        const __m128d v3 = _mm_loadu_pd(values + 6);
        s.even0 = _mm_add_pd(s.even0, _mm_mul_pd(even_tap, v0));
        s.even1 = _mm_add_pd(s.even1, _mm_mul_pd(even_tap, v1));
        s.even2 = _mm_add_pd(s.even2, _mm_mul_pd(even_tap, v2));
        s.even3 = _mm_add_pd(s.even3, _mm_mul_pd(even_tap, v3));
        s.odd0 = _mm_add_pd(s.odd0, _mm_mul_pd(odd_tap, v0));
        s.odd1 = _mm_add_pd(s.odd1, _mm_mul_pd(odd_tap, v1));
        s.odd2 = _mm_add_pd(s.odd2, _mm_mul_pd(odd_tap, v2));
        s.odd3 = _mm_add_pd(s.odd3, _mm_mul_pd(odd_tap, v3));
    }
}

// Two pairs' outputs in their places: 2m, 2m+1, 2m+2, 2m+3, each times the square root of 2.
[[gnu::always_inline]] inline void store_pairs(double* out, __m128d even, __m128d odd, __m128d root2)
{
    _mm_storeu_pd(out, _mm_mul_pd(_mm_unpacklo_pd(even, odd), root2));
    _mm_storeu_pd(out + 2, _mm_mul_pd(_mm_unpackhi_pd(even, odd), root2));
}

// Output pairs [first, last) of a level whose band indexes m - k never wrap: each lane holds
// one output's sum, added to in exactly the order of the plain path (the approximation band,
// then the detail band, taps in increasing order), with a separate multiply and add, so every
// bit comes out the same.
void synthesise_block_pairs(const double* approximation, const double* detail, const double* lowpass,
                            const double* highpass, std::size_t taps, std::size_t first, std::size_t last,
                            double* out)
{
    const __m128d root2 = _mm_set1_pd(std::sqrt(2.0));
    for (std::size_t m = first; m + pairs_per_block <= last; m += pairs_per_block) {
        const __m128d zero = _mm_setzero_pd();
        BlockSums s = {zero, zero, zero, zero, zero, zero, zero, zero};
        add_band(s, approximation, lowpass, taps, m);
        add_band(s, detail, highpass, taps, m);
        double* target = out + 2 * m;
        store_pairs(target, s.even0, s.odd0, root2);
        store_pairs(target + 4, s.even1, s.odd1, root2);
        store_pairs(target + 8, s.even2, s.odd2, root2);
        store_pairs(target + 12, s.even3, s.odd3, root2);
    }
}

#endif

} // namespace

void wavelet::synthesise_plainly(const double* approximation, const double* detail, std::size_t half,
                                 std::size_t first, std::size_t last, double* out) const
{
    const std::size_t taps = lowpass_.size() / 2;
    const double root2 = std::sqrt(2.0);
    for (std::size_t i = first; i < last; ++i) {
        double sum = 0.0;
        for (const auto& [band, filter] : {std::pair{approximation, &lowpass_}, std::pair{detail, &highpass_}}) {
            std::size_t index = i / 2;
            for (std::size_t k = 0; k < taps; ++k) {
                sum = sum + (*filter)[2 * k + i % 2] * band[index];
                index = index == 0 ? half - 1 : index - 1;
            }
        }
        out[i] = sum * root2;
    }
}

void wavelet::synthesise(const double* approximation, const double* detail, std::size_t n, double* out) const
{
    const std::size_t half = n / 2;
    const std::size_t taps = lowpass_.size() / 2;
    // Pairs before `taps - 1` reach back past the start of their bands and wrap; so may a
    // short tail of pairs the blocks leave over, and the last output of an odd n.
    std::size_t vector_first = std::min(half, taps > 0 ? taps - 1 : 0);
    std::size_t vector_last = vector_first;
#if defined(__SSE2__)
    vector_last += (half - vector_first) / pairs_per_block * pairs_per_block;
    synthesise_block_pairs(approximation, detail, lowpass_.data(), highpass_.data(), taps, vector_first, vector_last,
                           out);
#endif
    synthesise_plainly(approximation, detail, half, 0, 2 * vector_first, out);
    synthesise_plainly(approximation, detail, half, 2 * vector_last, n, out);
}

void wavelet::synthesis_step(const float_vector& input, float_vector& output, std::size_t n) const
{
    if (output.size() < n)
        output.resize(n);
    if (n < 2) { // no band to take from
        std::fill(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
        return;
    }
    synthesise(input.data(), input.data() + n / 2, n, output.data());
}

// Each level reads its approximation band from the level before and its detail band from
// the coefficients themselves; the levels write alternately into `output` and one scratch
// vector, arranged so that the last lands in `output`, with no copy between levels.
void wavelet::reconstruct(const float_vector& coefficients, float_vector& output) const
{
    const std::size_t total = coefficients.size();
    std::size_t levels = 0;
    std::size_t last = 0;
    for (std::size_t n = base_level; n <= total; n *= 2) {
        ++levels;
        last = n;
    }
    output.resize(total);
    // Entries past the last level (a count that is not 64 x 2^m) stay the coefficients.
    std::copy(coefficients.begin() + static_cast<std::ptrdiff_t>(last), coefficients.end(),
              output.begin() + static_cast<std::ptrdiff_t>(last));
    if (levels == 0)
        return;
    float_vector scratch(last / 2);
    const double* approximation = coefficients.data();
    std::size_t n = base_level;
    for (std::size_t level = 0; level < levels; ++level, n *= 2) {
        double* target = (levels - 1 - level) % 2 == 0 ? output.data() : scratch.data();
        synthesise(approximation, coefficients.data() + n / 2, n, target);
        approximation = target;
    }
}

namespace {

struct Block {
    float low;
    float high;
    std::uint32_t levels;
    std::vector<std::uint16_t> codes;
};

Block read_block(lib::io::BinaryInputStream& in)
{
    Block block;
    block.low = in.read_value<float>();
    block.high = in.read_value<float>();
    block.levels = in.read_value<std::uint32_t>();
    block.codes = storage::read_planar<std::uint16_t>(in);
    return block;
}

// low + (high - low) x q / L in double precision; without levels the codes say nothing
// and every coefficient of the block is `low`.
double dequantise(const Block& block, std::uint16_t code)
{
    if (block.levels == 0)
        return block.low;
    const double span = static_cast<double>(block.high) - static_cast<double>(block.low);
    return static_cast<double>(block.low)
           + span * static_cast<double>(static_cast<float>(code)) / static_cast<double>(static_cast<float>(block.levels));
}

} // namespace

void decode_wavelet_column(lib::io::BinaryInputStream& in, std::vector<float>& column)
{
    static const wavelet filter(coiflet5_lowpass, std::size(coiflet5_lowpass));

    const std::int32_t count = in.read_value<std::int32_t>();
    const std::size_t records = column.size();
    if (count < 0 || !is_valid_coefficient_count(static_cast<std::size_t>(count)))
        throw storage::compressed_error(storage::compressed_text::bad_coefficient_count(count));
    const auto n = static_cast<std::size_t>(count);
    // A count far beyond the records would only make a huge, empty transform.
    if (records > n || n > std::max<std::size_t>(base_level, 4 * records))
        throw storage::compressed_error(storage::compressed_text::coefficients_for_records(count, records));

    float_vector coefficients(n, 0.0);
    std::size_t filled = 0;
    for (std::size_t b = 0; b < blocks_at_most && filled < n; ++b) {
        const Block block = read_block(in);
        for (const std::uint16_t code : block.codes) {
            if (filled == n)
                break; // codes past the last coefficient are read and ignored
            coefficients[filled++] = dequantise(block, code);
        }
    }

    float_vector restored;
    filter.reconstruct(coefficients, restored);
    for (std::size_t i = 0; i < records; ++i)
        column[i] = static_cast<float>(restored[i]);
}

} // namespace wave
