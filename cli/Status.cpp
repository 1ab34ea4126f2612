#include "cli/Status.h"

#include "settings/Configuration.h"
#include "catalogue/Well_overview.h"
#include "cli/Cli.h"
#include "cli/Output.h"
#include "cli/Tree.h"
#include "lib/Float_text.h"
#include "lib/Mytime.h"
#include "lib/Sys_utils.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <ostream>
#include <vector>

namespace dravinex_cli {

namespace {

using ordered_json = nlohmann::ordered_json;

constexpr auto overview_columns = std::to_array({
    catalogue::OverviewColumn::area, catalogue::OverviewColumn::well, catalogue::OverviewColumn::newest_time,
    catalogue::OverviewColumn::newest_depth, catalogue::OverviewColumn::depth, catalogue::OverviewColumn::last_package,
    catalogue::OverviewColumn::packages, catalogue::OverviewColumn::age, catalogue::OverviewColumn::mark});
static_assert(overview_columns.size() == catalogue::overview_column_count);

// The overview's cells, with what a terminal must not act on shown escaped.
std::vector<std::string> row_cells(const catalogue::WellOverviewRow& row)
{
    std::vector<std::string> cells;
    for (const catalogue::OverviewColumn column : overview_columns)
        cells.push_back(printable(catalogue::cell_text(row, column)));
    return cells;
}

void write_text(const std::vector<catalogue::WellOverviewRow>& rows, int hours, std::ostream& out)
{
    std::vector<std::vector<std::string>> table(1);
    for (const catalogue::OverviewColumn column : overview_columns)
        table.front().push_back(catalogue::one_line_title(column));
    for (const catalogue::WellOverviewRow& row : rows)
        table.push_back(row_cells(row));
    std::vector<std::size_t> widths(overview_columns.size(), 0);
    for (const auto& cells : table)
        for (std::size_t c = 0; c < cells.size(); ++c)
            widths[c] = std::max(widths[c], display_width(cells[c]));
    for (const auto& cells : table) {
        std::string line;
        for (std::size_t c = 0; c < cells.size(); ++c)
            append_padded(line, cells[c], widths[c]);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << '\n';
    }
    out << catalogue::summary_text(rows, hours) << '\n';
    for (const catalogue::WellOverviewRow& row : rows)
        for (const std::string& name : row.unreadable)
            out << "Не прочитан файл: " << printable(row.folder + name) << '\n';
}

// The depth as the number of its shortest text (1260.2, not 1260.199951171875); null when
// unknown or not a number.
ordered_json depth_or_null(const std::optional<float>& depth)
{
    if (!depth || !std::isfinite(*depth))
        return nullptr;
    const std::string text = lib::float_text(*depth);
    double number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

ordered_json time_or_null(std::uint32_t time)
{
    return time == 0 ? ordered_json(nullptr) : ordered_json(time);
}

void write_json(const std::vector<catalogue::WellOverviewRow>& rows, int hours, std::uint32_t now, std::ostream& out)
{
    ordered_json wells = ordered_json::array();
    for (const catalogue::WellOverviewRow& row : rows) {
        ordered_json well;
        well["area"] = row.area;
        well["well"] = row.well;
        well["folder"] = row.folder;
        well["newest_time_record"] = time_or_null(row.newest_time_file);
        well["newest_depth_record"] = time_or_null(row.newest_depth_file);
        well["depth"] = depth_or_null(row.depth);
        well["last_package"] = time_or_null(row.last_arrival);
        well["last_package_datetime"] = catalogue::moment_text(row.last_arrival);
        well["packages"] = row.packages ? ordered_json(*row.packages) : ordered_json(nullptr);
        well["newest_datetime"] = catalogue::moment_text(row.newest());
        well["age_seconds"] = row.age ? ordered_json(*row.age) : ordered_json(nullptr);
        well["old"] = row.old;
        well["unreadable"] = row.unreadable;
        wells.push_back(std::move(well));
    }
    ordered_json document;
    document["now"] = now;
    document["older_than_hours"] = hours;
    document["old_wells"] = std::count_if(rows.begin(), rows.end(), [](const auto& row) { return row.old; });
    document["wells"] = std::move(wells);
    out << document.dump(2, ' ', false, ordered_json::error_handler_t::replace) << '\n';
}

} // namespace

CLI::App* add_status_command(CLI::App& app, StatusOptions& options)
{
    CLI::App* status = app.add_subcommand(
        "status", "Обзор скважин: последняя запись, глубина и последний пакет каждой скважины, самые "
                  "давние сверху; статус 1, если какая-то скважина молчит дольше предела");
    add_store_options(*status, options.store, false);
    status->add_option("--format", options.format, "Вид вывода: text (таблица) или json")
        ->check(CLI::IsMember({"text", "json"}));
    status->add_option("--older-than", options.older_than,
                       "Предел в часах, после которого скважина считается молчащей (по умолчанию "
                       "silence_hours из dravinex2.ini, иначе 6)")
        ->check(CLI::Range(0, max_silence_hours));
    return status;
}

int run_status(const StatusOptions& options, std::ostream& out, std::ostream& err)
{
    if (!store_options_usable(options.store, err))
        return exit_usage;
    const StorePaths paths = resolve_store(options.store);
    CONFIGURATION settings;
    settings.load(paths.settings);
    catalogue::OverviewRequest request;
    request.data_root = paths.to_path;
    request.state_folder = paths.state;
    request.older_than_hours = options.older_than.value_or(settings.silence_hours);
    request.now = lib::now_seconds();
    const std::vector<catalogue::WellOverviewRow> rows = catalogue::build_overview(request);
    if (options.format == "json")
        write_json(rows, request.older_than_hours, request.now, out);
    else
        write_text(rows, request.older_than_hours, out);
    const int written = finish_output(out, err);
    if (written != exit_ok)
        return written;
    const bool any_old = std::any_of(rows.begin(), rows.end(), [](const auto& row) { return row.old; });
    return any_old ? exit_failure : exit_ok;
}

} // namespace dravinex_cli
