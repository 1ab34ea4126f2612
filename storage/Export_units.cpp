// Station unit texts as Energistics unit symbols, for WITSML's unit and unitList. The
// station writes units as its operators typed them, in Russian or in Latin letters, so the
// table is looked up by a folded key: lower case, no blanks, '*' and '·' as '.', powers as
// plain digits, no trailing dot. Only symbols that mean the same unit are listed; a text
// the table lacks is exported as it is.

#include "storage/Export.h"

#include "lib/Strworks.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

namespace data_export {

namespace {

using Entry = std::pair<std::string_view, std::string_view>;

// Sorted by key for a binary search (checked once, below).
constexpr auto unit_table = [] {
    std::array<Entry, 110> table = {{
        // length
        {"м", "m"}, {"m", "m"}, {"метр", "m"}, {"мм", "mm"}, {"mm", "mm"}, {"см", "cm"}, {"cm", "cm"},
        {"км", "km"}, {"km", "km"}, {"ft", "ft"}, {"фут", "ft"}, {"in", "in"}, {"дюйм", "in"},
        // time
        {"с", "s"}, {"сек", "s"}, {"s", "s"}, {"sec", "s"}, {"мс", "ms"}, {"ms", "ms"}, {"мин", "min"},
        {"min", "min"}, {"ч", "h"}, {"час", "h"}, {"h", "h"}, {"hr", "h"}, {"сут", "d"},
        // speed and its inverse
        {"м/ч", "m/h"}, {"м/час", "m/h"}, {"m/h", "m/h"}, {"m/hr", "m/h"}, {"м/с", "m/s"}, {"m/s", "m/s"},
        {"м/мин", "m/min"}, {"m/min", "m/min"}, {"мин/м", "min/m"}, {"min/m", "min/m"}, {"с/м", "s/m"},
        {"s/m", "s/m"},
        // mass and force
        {"кг", "kg"}, {"kg", "kg"}, {"г", "g"}, {"g", "g"}, {"т", "t"}, {"t", "t"}, {"н", "N"},
        {"кн", "kN"}, {"kn", "kN"}, {"дан", "daN"}, {"dan", "daN"}, {"кгс", "kgf"}, {"kgf", "kgf"},
        // pressure
        {"па", "Pa"}, {"pa", "Pa"}, {"кпа", "kPa"}, {"kpa", "kPa"}, {"мпа", "MPa"}, {"mpa", "MPa"},
        {"бар", "bar"}, {"bar", "bar"}, {"атм", "atm"}, {"atm", "atm"}, {"кгс/см2", "kgf/cm2"},
        {"kgf/cm2", "kgf/cm2"}, {"psi", "psi"},
        // rotation
        {"об/мин", "rpm"}, {"rpm", "rpm"}, {"1/мин", "1/min"},
        // volume and flow
        {"м3", "m3"}, {"m3", "m3"}, {"л", "L"}, {"l", "L"}, {"л/с", "L/s"}, {"l/s", "L/s"}, {"л/мин", "L/min"},
        {"l/min", "L/min"}, {"м3/ч", "m3/h"}, {"m3/h", "m3/h"}, {"м3/мин", "m3/min"}, {"m3/min", "m3/min"},
        {"м3/с", "m3/s"}, {"m3/s", "m3/s"},
        // density and concentration
        {"г/см3", "g/cm3"}, {"g/cm3", "g/cm3"}, {"кг/м3", "kg/m3"}, {"kg/m3", "kg/m3"}, {"мг/л", "mg/L"},
        {"mg/l", "mg/L"}, {"%", "%"}, {"ppm", "ppm"},
        // temperature: a bare "c" or "с" is a coulomb or a second, never a degree
        {"°c", "degC"}, {"°с", "degC"}, {"градс", "degC"}, {"град.с", "degC"}, {"гр.с", "degC"},
        {"degc", "degC"},
        // torque
        {"кн.м", "kN.m"}, {"кнм", "kN.m"}, {"kn.m", "kN.m"}, {"н.м", "N.m"}, {"n.m", "N.m"}, {"кгс.м", "kgf.m"},
        // electrical
        {"а", "A"}, {"в", "V"}, {"вт", "W"}, {"квт", "kW"}, {"kw", "kW"}, {"ом.м", "ohm.m"},
        {"ohm.m", "ohm.m"}, {"гц", "Hz"}, {"hz", "Hz"},
    }};
    std::sort(table.begin(), table.end(), [](const Entry& a, const Entry& b) { return a.first < b.first; });
    return table;
}();

static_assert(std::adjacent_find(unit_table.begin(), unit_table.end(),
                                 [](const Entry& a, const Entry& b) { return a.first == b.first; }) ==
                  unit_table.end(),
              "a unit text is listed twice");

std::string folded(std::string_view unit)
{
    const std::string lower = lib::to_lower(unit);
    std::string key;
    key.reserve(lower.size());
    for (std::size_t i = 0; i < lower.size(); ++i) {
        const std::string_view rest = std::string_view(lower).substr(i);
        if (rest.starts_with("\xC2\xB7") || rest.starts_with("\xC3\x97")) { // · ×
            key += '.';
            ++i;
        }
        else if (rest.starts_with("\xC2\xB2")) { // ²
            key += '2';
            ++i;
        }
        else if (rest.starts_with("\xC2\xB3")) { // ³
            key += '3';
            ++i;
        }
        else if (rest.starts_with("\xC2\xBA")) { // º as °
            key += "\xC2\xB0";
            ++i;
        }
        else if (lower[i] == '*')
            key += '.';
        else if (lower[i] != ' ' && lower[i] != '\t' && lower[i] != '^')
            key += lower[i];
    }
    while (!key.empty() && key.back() == '.')
        key.pop_back();
    return key;
}

} // namespace

std::optional<std::string_view> witsml_unit(std::string_view station_unit)
{
    const std::string key = folded(station_unit);
    const auto it = std::lower_bound(unit_table.begin(), unit_table.end(), key,
                                     [](const Entry& entry, const std::string& k) { return entry.first < k; });
    if (it == unit_table.end() || it->first != key)
        return std::nullopt;
    return it->second;
}

} // namespace data_export
