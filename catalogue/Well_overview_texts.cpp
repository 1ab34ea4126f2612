#include "catalogue/Well_overview.h"

#include "lib/Mytime.h"

#include <algorithm>
#include <cmath>

namespace catalogue {

std::string age_text(const WellOverviewRow& row)
{
    if (!row.age)
        return overview_text::no_data;
    // Tenths of an hour up to two days, tenths of a day beyond: a well silent for years
    // reads as days, not as five-digit hours.
    const bool days = *row.age >= 48 * 3600;
    const std::uint32_t unit = days ? 86400 : 3600;
    const std::uint64_t tenths = (static_cast<std::uint64_t>(*row.age) * 10 + unit / 2) / unit;
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + (days ? " сут" : " ч");
}

std::string depth_text(const WellOverviewRow& row)
{
    if (!row.depth || !std::isfinite(*row.depth))
        return {};
    const long long tenths = std::llround(static_cast<double>(*row.depth) * 10.0);
    const long long whole = std::llabs(tenths);
    return std::string(tenths < 0 ? "-" : "") + std::to_string(whole / 10) + "," + std::to_string(whole % 10);
}

std::string moment_text(std::uint32_t time)
{
    return time == 0 ? std::string() : lib::format_time(time, false);
}

std::string mark_text(const WellOverviewRow& row)
{
    return row.old ? overview_text::silent : "";
}

std::string one_line_title(OverviewColumn column)
{
    std::string title = overview_columns[static_cast<int>(column)].title;
    std::replace(title.begin(), title.end(), '\n', ' ');
    return title;
}

std::string cell_text(const WellOverviewRow& row, OverviewColumn column)
{
    switch (column) {
    case OverviewColumn::area: return row.area;
    case OverviewColumn::well: return row.well;
    case OverviewColumn::newest_time: return moment_text(row.newest_time_file);
    case OverviewColumn::newest_depth: return moment_text(row.newest_depth_file);
    case OverviewColumn::depth: return depth_text(row);
    case OverviewColumn::last_package: return moment_text(row.last_arrival);
    case OverviewColumn::packages: return row.packages ? std::to_string(*row.packages) : std::string();
    case OverviewColumn::age: return age_text(row);
    case OverviewColumn::mark: return mark_text(row);
    }
    return {};
}

std::string summary_text(const std::vector<WellOverviewRow>& rows, int hours)
{
    const auto old = std::count_if(rows.begin(), rows.end(), [](const WellOverviewRow& row) { return row.old; });
    return "Скважин: " + std::to_string(rows.size()) + ", молчат более " + std::to_string(hours) + " ч: " +
           std::to_string(old);
}

} // namespace catalogue
