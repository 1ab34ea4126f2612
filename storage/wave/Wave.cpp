#include "storage/wave/Wave.h"

#include "storage/Compressed_text.h"
#include "storage/Planar_lists.h"

#include <algorithm>
#include <cmath>

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

// sums[i] += filter[2k + i%2] * band[(i/2 - k) mod half] for k = 0, 1, ...: one tap at a time
// over all outputs, so each output's sum still runs in increasing k while the loop over
// outputs vectorises.
void wavelet::add_band(const double* band, const float_vector& filter, std::size_t half, double* sums) const
{
    const std::size_t taps = filter.size() / 2;
    for (std::size_t k = 0; k < taps; ++k) {
        const double even = filter[2 * k];
        const double odd = filter[2 * k + 1];
        for (std::size_t m = 0; m < k; ++m) { // indexes that wrap to the end of the band
            const double value = band[m + half - k];
            sums[2 * m] += even * value;
            sums[2 * m + 1] += odd * value;
        }
        for (std::size_t m = k; m < half; ++m) {
            const double value = band[m - k];
            sums[2 * m] += even * value;
            sums[2 * m + 1] += odd * value;
        }
    }
}

void wavelet::synthesis_step(const float_vector& input, float_vector& output, std::size_t n) const
{
    const std::size_t half = n / 2;
    if (output.size() < n)
        output.resize(n);
    double* sums = output.data();
    std::fill(sums, sums + n, 0.0);
    add_band(input.data(), lowpass_, half, sums);
    add_band(input.data() + half, highpass_, half, sums);
    const double root2 = std::sqrt(2.0);
    for (std::size_t i = 0; i < n; ++i)
        sums[i] *= root2;
}

void wavelet::reconstruct(const float_vector& coefficients, float_vector& output) const
{
    float_vector work = coefficients;
    const std::size_t total = coefficients.size();
    output.assign(total, 0.0);
    for (std::size_t n = base_level; n <= total; n *= 2) {
        synthesis_step(work, output, n);
        std::copy(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(n), work.begin());
    }
    output = std::move(work);
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
