#pragma once
// Writers of the compressed column form: byte-planar lists, parameter columns (raw,
// quantised, wavelet), the eight-member column-file set and the "CREGFILE" single stream.
// An encoder of its own, written from the layout and not from the program's readers, so
// that the two meet in tests. Pure functions returning bytes, plus file writers; plain
// values, one thread.
//
// Fields that a reader checks can be set to wrong values (method and kind numbers, counts
// that disagree with the data, magic and version) so that damaged input can be built.
// What the kit cannot write faithfully throws instead of writing something else: a code
// too wide for its kind or a kind without a code list is std::invalid_argument, a failed
// file write std::runtime_error. Strings go through ByteWriter::put_string.

#include "storage/Realtimedatareader.h"
#include "testkit/Bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace testkit {

namespace compressed {
inline constexpr std::int32_t method_raw = 1;
inline constexpr std::int32_t method_quantised = 2;
inline constexpr std::int32_t method_wavelet = 3;

inline constexpr std::size_t list_count_size = 4;        // signed 32-bit count before the planes
inline constexpr std::size_t quantised_head_size = 20;   // kind, L, high, low, n
inline constexpr std::size_t wavelet_block_head_size = 16; // low, high, L, count
inline constexpr std::size_t approximation_count = 32;   // coarsest level, first in the coefficients
inline constexpr std::size_t min_coefficient_count = 64; // N = 64 * 2^m

inline constexpr std::string_view stream_magic = "CREGFILE";
inline constexpr std::int32_t stream_version = 1;

// The members of a column-file set in the order compressed_set_members gives them.
inline constexpr std::array<std::string_view, 8> member_suffixes = {
    ".params", ".values", ".text", ".time", ".depth_z", ".depth_cur", ".lag_depth", ".operation"};
} // namespace compressed

// Signed 32-bit count, then one plane per byte of the element: plane 0 holds the least
// significant byte of every element in element order. `declared_count` replaces the count
// field only; the planes hold the elements given.
Bytes planar_list_8(const std::vector<std::uint8_t>& values, std::optional<std::int32_t> declared_count = std::nullopt);
Bytes planar_list_16(const std::vector<std::uint16_t>& values, std::optional<std::int32_t> declared_count = std::nullopt);
Bytes planar_list_32(const std::vector<std::uint32_t>& values, std::optional<std::int32_t> declared_count = std::nullopt);
Bytes planar_list_32f(const std::vector<float>& values, std::optional<std::int32_t> declared_count = std::nullopt);
Bytes planar_list_64(const std::vector<std::uint64_t>& values, std::optional<std::int32_t> declared_count = std::nullopt);

// Method 1: a 32-bit list of floats.
struct RawColumn {
    std::vector<float> values = {};
    std::optional<std::int32_t> declared_count = std::nullopt; // the list's count field, when it should lie
};

// Method 2. `kind` (1, 2 or 4 bytes per code) chooses the code list; `kind_field` writes
// another number in its place. `count` is the n field, written as given.
struct QuantisedColumn {
    int kind = 1;
    std::uint32_t levels = 1;
    float high = 0;
    float low = 0;
    std::int32_t count = 0;
    std::vector<std::int32_t> positions = {}; // of the exact values, ascending
    std::vector<float> exact = {};            // in position order
    std::vector<std::uint32_t> codes = {};    // of the other values, in order
    std::optional<std::int32_t> kind_field = std::nullopt;
};

struct WaveletBlock {
    float low = 0;
    float high = 0;
    std::uint32_t levels = 1;
    std::vector<std::uint16_t> codes = {};
    std::optional<std::int32_t> declared_count = std::nullopt; // the block's count c, when it should lie
};

// Method 3: N, then one or two blocks (all blocks given are written).
struct WaveletColumn {
    std::int32_t coefficient_count = 0;
    std::vector<WaveletBlock> blocks = {};
};

// A parameter column; the method number follows the body unless overridden.
struct Column {
    std::variant<RawColumn, QuantisedColumn, WaveletColumn> body = RawColumn{};
    std::optional<std::int32_t> method_override = std::nullopt;
};

// The method number, then the body.
Bytes column_bytes(const Column& column);

// A quantised column of the values: low and high are the smallest and largest finite value
// (or `range` when given), code = round((v - low) / (high - low) * L) clamped to 0..L, and 0
// when high == low. A value is stored as an exact value instead when it is not finite, lies
// outside low..high, or its code gives back a value (low + (high - low) * q / L in double,
// rounded to float) farther than `tolerance` from it. Throws std::invalid_argument for a
// kind other than 1, 2, 4, for L = 0 and for an L whose codes the kind cannot hold.
QuantisedColumn quantise(const std::vector<float>& values, int kind, std::uint32_t levels,
                         double tolerance = std::numeric_limits<double>::infinity(),
                         std::optional<std::array<float, 2>> range = std::nullopt);

// The values a well-formed quantised column stands for, worked out by the kit: exact values
// at their positions, the codes dequantised in order elsewhere. Throws std::invalid_argument
// when the column's counts do not fit together (n, positions, exact values, codes).
std::vector<float> dequantise(const QuantisedColumn& column);

// N coefficients whose 32 approximation entries dequantise to exactly `a` (low 0, high a,
// L 1, code 1) and all detail entries to 0, so the column decodes to `a` within float
// rounding. One block of N codes, or with `two_blocks` the 32 approximation codes in the
// first and the details in a second (low -1, high 1, L 2, code 1, which is exactly 0).
WaveletColumn wavelet_constant_column(std::int32_t coefficient_count, float a, bool two_blocks = false);

// The data of one compressed file. R, the record count written, is times.size() unless
// record_count_override is set; N, the parameter count, params.size() unless
// param_count_override is set. Lists are written with the elements given, so columns of
// another length than R make damaged files. Missing subseconds are 0; more subseconds than
// times is std::invalid_argument.
struct CompressedSet {
    std::vector<FileStorageParam> params = {};
    std::vector<std::string> text_lines = {};
    std::vector<std::uint32_t> times = {};
    std::vector<std::uint8_t> subseconds = {}; // only the set of form version 2 and later stores them
    std::vector<float> depth_z = {};
    std::vector<float> depth_cur = {};
    std::vector<float> lag_depth = {};
    std::vector<std::uint8_t> operations = {};
    struct ValueColumn {
        bool exponent = false;
        bool zero = false;
        Column column = {};
    };
    std::vector<ValueColumn> columns = {}; // in parameter order
    std::optional<std::int32_t> record_count_override = std::nullopt;
    std::optional<std::int32_t> param_count_override = std::nullopt;
};

// Column-file set. Strings are code page 1251 for form versions up to 1 and UTF-8 from 2;
// times are a 32-bit list up to 1 and a 64-bit list from 2 (subsecond in bits 0-7, time in
// bits 32-63). The text member is the lines joined with CR LF, as one string.
struct CompressedMember {
    std::string suffix; // ".params", ...
    Bytes bytes;
};
// All eight, in compressed::member_suffixes order: damage or drop one, then write them.
std::vector<CompressedMember> compressed_set_members(const CompressedSet& set, int form_version);
// One member by its suffix; another suffix is std::invalid_argument.
Bytes compressed_set_member_bytes(const CompressedSet& set, std::string_view suffix, int form_version);
// Writes base + suffix for each member given, replacing existing files.
void write_compressed_members(const std::vector<CompressedMember>& members, const std::string& base);
void write_compressed_set(const CompressedSet& set, const std::string& base, int form_version);

// Single stream: magic, version, N, the entries, the text, R, the times (32-bit list, no
// subseconds), the three depth lists, the operations, then the columns without flags.
// Strings in code page 1251.
struct SingleStreamHead {
    std::string magic = std::string(compressed::stream_magic);
    std::int32_t version = compressed::stream_version;
};
Bytes single_stream(const CompressedSet& set, const SingleStreamHead& head = {});

// A set on top of synthetic_records and synthetic_params: by parameter index u, u % 5 == 0
// raw (u % 10 == 5: the logarithms of the values with the exponent flag, no zero flag),
// 1, 2, 3 quantised of kind 1 (L 255), 2 (L 4095) and 4 (L 1000000) with a few dropouts to
// 0 stored as exact values, 4 a wavelet column of N = smallest 64 * 2^m >= R in two blocks
// that decodes to the column's mean. Times, depths and operations are the records', with
// subseconds 0; two text lines. Deterministic for a seed.
CompressedSet synthetic_compressed_set(std::size_t record_count, std::size_t param_count, std::uint32_t seed);

} // namespace testkit
