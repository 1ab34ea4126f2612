// The wavelet reconstruction against a plain loop of the same number of multiply-adds, and
// the loading of a compressed single stream of 200,000 records x 40 parameters.
//
//   codec_bench [repetitions]

#include "Bench_support.h"

#include "storage/Realtimedatareader.h"
#include "storage/wave/Wave.h"
#include "testkit/Compressed_writer.h"

#include <cstdio>
#include <filesystem>
#include <random>

namespace {

constexpr std::size_t coefficient_count = std::size_t{1} << 20;
constexpr std::size_t stream_records = 200000;
constexpr std::size_t stream_params = 40;

// The multiply-adds of a whole reconstruction: 30 per output value on every level.
std::size_t reconstruction_multiply_adds(std::size_t n)
{
    std::size_t total = 0;
    for (std::size_t level = wave::base_level; level <= n; level *= 2)
        total += level * 30;
    return total;
}

// The floor: y += c * x over arrays of the same size, as many times as the reconstruction
// has multiply-adds, so memory traffic and arithmetic match.
double floor_loop(std::vector<double>& y, const std::vector<double>& x, std::size_t multiply_adds)
{
    const std::size_t passes = multiply_adds / x.size();
    for (std::size_t p = 0; p < passes; ++p) {
        const double c = 1.0 + static_cast<double>(p) * 1e-9;
        for (std::size_t i = 0; i < x.size(); ++i)
            y[i] += c * x[i];
    }
    return y[x.size() / 2];
}

void bench_wavelet(int repetitions)
{
    const wave::wavelet filter(wave::coiflet5_lowpass, 30);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> value(-1, 1);
    wave::float_vector coefficients(coefficient_count);
    for (double& c : coefficients)
        c = value(rng);
    wave::float_vector output;
    std::vector<double> x(coefficients), y(coefficient_count, 0.0);
    const std::size_t multiply_adds = reconstruction_multiply_adds(coefficient_count);

    std::vector<double> transform, floor;
    double sink = 0;
    for (int i = 0; i < repetitions; ++i) {
        transform.push_back(bench::seconds_of([&] { filter.reconstruct(coefficients, output); }));
        sink += output[7];
        floor.push_back(bench::seconds_of([&] { sink += floor_loop(y, x, multiply_adds); }));
    }
    const double t = bench::median(transform);
    const double f = bench::median(floor);
    std::printf("wavelet reconstruction, N = 2^20: %.1f ms, %.1f M values/s, %.1f multiply-adds per value\n", t * 1000,
                static_cast<double>(coefficient_count) / t / 1e6,
                static_cast<double>(multiply_adds) / static_cast<double>(coefficient_count));
    std::printf("floor, the same multiply-adds as y += c x: %.1f ms; ratio %.2f x (target <= 1 x)   [%g]\n", f * 1000,
                t / f, sink);
}

void bench_single_stream(int repetitions)
{
    const testkit::CompressedSet set = testkit::synthetic_compressed_set(stream_records, stream_params, 11);
    const testkit::Bytes stream = testkit::single_stream(set);
    bench::ScratchDir dir;
    const std::string output = dir.file("out.realtim");

    std::vector<double> load, load_and_save, rebuilt;
    for (int i = 0; i < repetitions; ++i) {
        lib::io::BinaryMemoryInputStream in;
        in.set_data(stream.data(), stream.size());
        FileStorage model;
        load.push_back(bench::seconds_of([&] { model.load_after_decompressing(in); }));
        const double save = bench::seconds_of([&] { model.save_realtime(output); });
        load_and_save.push_back(load.back() + save);
        lib::io::BinaryMemoryInputStream again;
        again.set_data(stream.data(), stream.size());
        rebuilt.push_back(bench::seconds_of(
            [&] { rebuild_single_stream(again, dir.file("rebuilt.realtim"), lib::io::Durability::synced); }));
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(output)) / 1e6;
    std::printf("single stream of %zu records x %zu parameters: %.1f MB in, %.1f MB of real-time file out\n",
                stream_records, stream_params, static_cast<double>(stream.size()) / 1e6, megabytes);
    std::printf("  load_after_decompressing: %.1f ms, %.0f MB/s of real-time output (target >= 100 MB/s)\n",
                bench::median(load) * 1000, megabytes / bench::median(load));
    std::printf("  load and save_realtime:   %.1f ms, %.0f MB/s of real-time output\n", bench::median(load_and_save) * 1000,
                megabytes / bench::median(load_and_save));
    std::printf("  rebuilt without a model:  %.1f ms, %.0f MB/s of real-time output, %.2f x the load and save"
                " (what a .7z_reg or .zreg does)\n",
                bench::median(rebuilt) * 1000, megabytes / bench::median(rebuilt),
                bench::median(rebuilt) / bench::median(load_and_save));
}

} // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 7;
    bench_wavelet(repetitions);
    bench_single_stream(repetitions);
    return 0;
}
