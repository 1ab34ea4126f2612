#include "testkit/Synthetic.h"

#include "testkit/Bytes.h"

#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <string_view>

namespace testkit {

namespace {

struct Quantity {
    std::string_view name;
    std::string_view unit;
    std::string_view mnemonic;
};

// Kept short: 512 descriptions must stay below the 32767-byte body of one sector in UTF-8.
constexpr std::array<Quantity, 22> quantities = {{
    {"Глубина", "м", "DEPT"},       {"Вес крюка", "тс", "HKLD"},     {"Нагр долото", "тс", "WOB"},
    {"Давл вход", "атм", "SPP"},    {"Расход вход", "л/с", "FLWI"},  {"Расход вых", "%", "FLWO"},
    {"Обороты", "об/м", "RPM"},     {"Момент рот", "кНм", "TRQ"},    {"Плотн вход", "г/см3", "MDI"},
    {"Плотн вых", "г/см3", "MDO"},  {"Темп вход", "град", "TMI"},    {"Темп вых", "град", "TMO"},
    {"Уров емк1", "м3", "PVT1"},    {"Уров емк2", "м3", "PVT2"},     {"Скор СПО", "м/с", "TSPD"},
    {"Газ сумм", "%", "GAS"},       {"Метан", "%", "C1"},            {"Этан", "%", "C2"},
    {"Пропан", "%", "C3"},          {"Ход насоса1", "ход/м", "SPM1"}, {"Ход насоса2", "ход/м", "SPM2"},
    {"Мех скор", "м/ч", "ROP"},
}};

constexpr std::uint32_t first_time = 1'600'000'000;
constexpr double start_depth = 1200.0;
constexpr double lag_offset = 4.5;

// [0, 1) from the top 24 bits, the same on every standard library.
double unit_value(std::mt19937& rng)
{
    return static_cast<double>(rng() >> 8) / 16777216.0;
}

struct Wave {
    double base;
    double amplitude;
    double period; // in records
    double phase;
};

std::vector<Wave> make_waves(std::size_t param_count, std::mt19937& rng)
{
    std::vector<Wave> waves(param_count);
    for (Wave& wave : waves) {
        wave.base = 5.0 + 195.0 * unit_value(rng);
        wave.amplitude = wave.base * (0.05 + 0.2 * unit_value(rng));
        wave.period = 50.0 + 450.0 * unit_value(rng);
        wave.phase = 2.0 * std::numbers::pi * unit_value(rng);
    }
    return waves;
}

float wave_value(const Wave& wave, std::size_t index, std::mt19937& rng)
{
    const double angle = 2.0 * std::numbers::pi * static_cast<double>(index) / wave.period + wave.phase;
    const double noise = 0.02 * wave.amplitude * (unit_value(rng) - 0.5);
    return static_cast<float>(wave.base + wave.amplitude * std::sin(angle) + noise);
}

} // namespace

std::vector<FileStorageItem> synthetic_records(std::size_t count, std::size_t param_count, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    const std::vector<Wave> waves = make_waves(param_count, rng);
    std::vector<FileStorageItem> records(count);
    std::uint32_t time = first_time;
    double depth = start_depth;
    std::uint8_t operation = 1;
    for (std::size_t i = 0; i < count; ++i) {
        FileStorageItem& item = records[i];
        time += 4 + rng() % 3; // a sample every 4 to 6 seconds
        depth += 0.02 * unit_value(rng);
        if (unit_value(rng) < 0.005) operation = static_cast<std::uint8_t>(1 + rng() % 8);
        item.time = time;
        item.operation = operation;
        item.depth_z = static_cast<float>(depth);
        item.depth_cur = static_cast<float>(depth - 0.3 * unit_value(rng));
        item.lag_depth = static_cast<float>(depth > lag_offset ? depth - lag_offset : 0.0);
        item.values.resize(param_count);
        for (std::size_t j = 0; j < param_count; ++j)
            item.values[j] = wave_value(waves[j], i, rng);
    }
    return records;
}

std::vector<FileStorageParam> synthetic_params(std::size_t param_count)
{
    std::vector<FileStorageParam> params(param_count);
    for (std::size_t i = 0; i < param_count; ++i) {
        const Quantity& quantity = quantities[i % quantities.size()];
        const std::size_t round = i / quantities.size();
        // Later rounds repeat the quantities of further sensors: "Метан 2", "Метан 3", ...
        const std::string suffix = round == 0 ? std::string() : numbered(" ", round + 1);
        FileStorageParam& param = params[i];
        param.name = std::string(quantity.name) + suffix;
        param.text1 = std::string(quantity.unit);
        param.text2 = std::string(quantity.mnemonic) + suffix;
        param.text3 = "к" + std::to_string(i);
        param.int_attr = static_cast<std::int32_t>(i % 3);
        param.float_attr = 100.0f;
    }
    return params;
}

} // namespace testkit
