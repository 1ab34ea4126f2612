#pragma once
// The inverse wavelet transform of compressed columns: a 30-tap orthogonal filter with
// periodic boundaries, and the reading of a wavelet-coded column's quantised coefficients.
//
// All arithmetic is double precision and the sums run in one fixed order (approximation
// band first, taps in increasing order), because that order decides the last bits of the
// restored values. Objects hold only their filters; nothing is shared between threads.

#include "lib/io/Binary_io.h"

#include <cstddef>
#include <vector>

namespace wave {

using float_vector = std::vector<double>;

// The smallest level the transform works on: 32 approximation and 32 detail coefficients.
inline constexpr std::size_t base_level = 64;

class wavelet {
public:
    // The scaling filter; the wavelet filter is derived from it.
    wavelet(const double* filter, std::size_t count);

    const float_vector& lowpass() const { return lowpass_; }
    const float_vector& highpass() const { return highpass_; }

    // The inverse transform of a whole coefficient vector (coarsest level first). Its
    // length must be 64 x 2^m.
    void reconstruct(const float_vector& coefficients, float_vector& output) const;
    // One level over the first n entries: the approximation band input[0, n/2) and the
    // detail band input[n/2, n) give output[0, n). `input` and `output` must differ.
    void synthesis_step(const float_vector& input, float_vector& output, std::size_t n) const;

private:
    // The level of n outputs from its two bands of n/2 (for an odd n, the approximation band
    // must run on into the detail band, as it does in one vector).
    void synthesise(const double* approximation, const double* detail, std::size_t n, double* out) const;
    // Outputs [first, last) one by one, the band indexes wrapping as often as they must.
    void synthesise_plainly(const double* approximation, const double* detail, std::size_t half, std::size_t first,
                            std::size_t last, double* out) const;

    float_vector lowpass_;
    float_vector highpass_;
};

// The 30 values of the scaling filter, exactly as stored coefficients were made with.
extern const double coiflet5_lowpass[30];

// True for 64 x 2^m.
bool is_valid_coefficient_count(std::size_t count);

// Reads a wavelet-coded column body and fills `column`, whose size the caller has set to the
// record count. Damaged input raises FileStorageException.
void decode_wavelet_column(lib::io::BinaryInputStream& in, std::vector<float>& column);

} // namespace wave
