#include "cli/Export.h"

#include "cli/Cli.h"
#include "cli/Output.h"
#include "extract/Extractthread.h"
#include "lib/Mytime.h"
#include "lib/Sys_utils.h"
#include "storage/Data_file.h"
#include "storage/Realtimedatareader.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string_view>
#include <vector>

namespace dravinex_cli {

namespace {

// CLI11 checks of the values, so that a wrong one is a usage error like any other.
const CLI::Validator date_time_check(
    [](std::string& text) -> std::string {
        return data_export::parse_iso_date_time(text) ? std::string()
                                                      : "ожидается дата и время вида 2020-09-13T12:26:40, а не " + text;
    },
    "ГГГГ-ММ-ДДTчч:мм:сс", "date_time");

const CLI::Validator offset_check(
    [](std::string& text) -> std::string {
        return data_export::parse_utc_offset(text) ? std::string()
                                                   : "ожидается смещение от UTC вида +05:00 или -03:30, а не " + text;
    },
    "±ЧЧ:ММ", "utc_offset");

// CLI11's own check of a set would list the comma among commas: "{,,;}".
const CLI::Validator separator_check(
    [](std::string& text) -> std::string {
        return text == "," || text == ";" ? std::string() : "ожидается «,» или «;», а не " + text;
    },
    "«,»|«;»", "separator");

std::optional<float> depth_value(const std::string& text)
{
    float value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

const CLI::Validator depth_check(
    [](std::string& text) -> std::string {
        return depth_value(text) ? std::string() : "ожидается глубина в метрах (число с точкой), а не " + text;
    },
    "МЕТРЫ", "depth");

void write_warnings(std::ostream& err, const std::string& path, const std::vector<std::string>& warnings)
{
    for (const std::string& warning : warnings)
        report(err, path + ": предупреждение: " + warning);
}

// The zone of the command line, else that of the settings, else none (the machine's).
// False when the settings name one that is not a zone.
bool resolve_zone(const ExportOptions& options, const StorePaths& paths, std::optional<int>& zone,
                  std::ostream& err)
{
    zone = options.utc_offset_minutes;
    if (zone || paths.time_zone.empty())
        return true;
    zone = data_export::parse_utc_offset(paths.time_zone);
    if (!zone) {
        report_failure(err, paths.settings,
                       "time_zone = " + paths.time_zone + ": это не часовой пояс (нужно +05:00, -03:30 или пусто)");
        return false;
    }
    return true;
}

int export_file(const ExportOptions& options, std::optional<int> zone, std::ostream& out, std::ostream& err)
{
    FileStorage model;
    try {
        data_file::load(model, options.file, options.form_version);
    }
    catch (const std::exception& e) {
        return report_failure(err, options.file, lib::io::describe_error(e));
    }

    // Replacing the data file by its own export would lose its records.
    std::error_code ignored;
    if (!options.output.empty() && std::filesystem::equivalent(options.file, options.output, ignored))
        return report_failure(err, options.output, "файл вывода совпадает с исходным файлом");

    data_export::Options export_options = data_export::options_for(options.file, options.format);
    export_options.separator = options.separator;
    export_options.range = options.range;
    export_options.utc_offset_minutes = zone;
    write_warnings(err, options.file, data_export::warnings(model, export_options));
    if (!options.output.empty()) {
        try {
            data_export::write_file(model, export_options, options.output);
        }
        catch (const std::exception& e) {
            return report_failure(err, options.output, lib::io::describe_error(e));
        }
        return exit_ok;
    }
    data_export::write(model, export_options,
                       [&out](std::string_view piece) { out.write(piece.data(), static_cast<std::streamsize>(piece.size())); });
    return finish_output(out, err);
}

// "Северная/12" as its two names; none for anything else, or for names that lead out of
// the store.
std::optional<std::pair<std::string, std::string>> well_names(std::string text)
{
    if (!text.empty() && text.back() == '/')
        text.pop_back();
    const auto slash = text.find('/');
    if (slash == std::string::npos)
        return std::nullopt;
    std::string area = text.substr(0, slash);
    std::string well = text.substr(slash + 1);
    for (const std::string& name : {area, well})
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            return std::nullopt;
    return std::pair{area, well};
}

// The data files of a well folder that the model reads by their name, in name order;
// hidden files (a writer's temporary copy among them) are not the well's.
std::vector<std::string> data_files_of(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.front() == '.' || !entry.is_regular_file(error))
            continue;
        if (data_file::readable(folder + name))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

int export_well(const ExportOptions& options, const StorePaths& paths, std::optional<int> zone, std::ostream& out,
                std::ostream& err)
{
    const auto names = well_names(options.well);
    if (!names) {
        report(err, "--well " + options.well + ": нужно ПЛОЩАДЬ/СКВАЖИНА, например Северная/12");
        return exit_usage;
    }
    const std::string folder = paths.to_path + names->first + "/" + names->second + "/";
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        return report_failure(err, folder, "такой скважины в хранилище нет");
    const std::string target = lib::with_slash(options.output);
    std::filesystem::create_directories(target, error);
    if (!std::filesystem::is_directory(target, error))
        return report_failure(err, options.output, "папку для экспорта нельзя создать");

    const data_export::WellIdentity identity = data_export::well_identity(folder);
    const int well_zone = zone.value_or(data_export::machine_utc_offset_minutes(lib::now_seconds()));
    int status = exit_ok;
    const auto write_document = [&](const std::string& name, const std::function<void(const data_export::Sink&)>& produce) {
        try {
            data_export::write_text_file(target + name, produce);
        }
        catch (const std::exception& e) {
            status = report_failure(err, target + name, lib::io::describe_error(e));
        }
    };
    write_document("well.xml", [&](const data_export::Sink& sink) { data_export::write_witsml_well(identity, well_zone, sink); });
    write_document("wellbore.xml",
                   [&](const data_export::Sink& sink) { data_export::write_witsml_wellbore(identity, sink); });

    std::size_t written = 0;
    for (const std::string& name : data_files_of(folder)) {
        const std::string path = folder + name;
        FileStorage model;
        try {
            data_file::load(model, path);
        }
        catch (const std::exception& e) {
            // One damaged file of the well does not hold back the others.
            status = report_failure(err, path, lib::io::describe_error(e));
            continue;
        }
        data_export::Options export_options = data_export::options_for(path, data_export::Format::witsml);
        export_options.range = options.range;
        export_options.utc_offset_minutes = zone;
        write_warnings(err, path, data_export::warnings(model, export_options));
        write_document(name + ".xml", [&](const data_export::Sink& sink) { data_export::write(model, export_options, sink); });
        ++written;
    }
    out << "Скважина " << printable(names->first + "/" + names->second) << ": журналов WITSML " << written << " в "
        << printable(target) << "\n";
    const int output = finish_output(out, err);
    return status != exit_ok ? status : output;
}

} // namespace

CLI::App* add_export_command(CLI::App& app, ExportOptions& options)
{
    CLI::App* command =
        app.add_subcommand("export", "Записать файл данных в CSV, LAS 2.0 или WITSML 1.4.1.1, или скважину в WITSML");
    CLI::Option* file = command->add_option(
        "FILE", options.file,
        "Файл данных (любого вида, что читает dump) или, с --form-version, общее начало имён набора сжатых файлов столбцов");
    CLI::Option* well = command->add_option(
        "--well", options.well,
        "Вместо FILE: скважина хранилища ПЛОЩАДЬ/СКВАЖИНА; в папку -o пишутся well.xml, wellbore.xml и журнал "
        "каждого её файла данных (только --format witsml)");
    file->excludes(well);
    well->excludes(file);
    add_form_version_option(*command, options.form_version);
    command
        ->add_option_function<std::string>(
            "--format",
            [&options](const std::string& name) {
                options.format = name == "las"      ? data_export::Format::las
                                 : name == "witsml" ? data_export::Format::witsml
                                                    : data_export::Format::csv;
            },
            "csv (для электронных таблиц), las (LAS 2.0 для программ каротажа) или witsml (WITSML 1.4.1.1, XML)")
        ->required()
        ->check(CLI::IsMember({"csv", "las", "witsml"}));
    command
        ->add_option_function<std::string>(
            "--separator", [&options](const std::string& separator) { options.separator = separator.front(); },
            "Разделитель полей CSV: , (по умолчанию) или ; как ждут таблицы в русской локали")
        ->check(separator_check);
    command->add_option("-o,--output", options.output,
                        "Записать в этот файл, а не в стандартный вывод (с --well: в эту папку)");
    const auto time_bound = [](std::optional<std::uint32_t>& bound) {
        return [&bound](const std::string& text) { bound = data_export::parse_iso_date_time(text); };
    };
    command
        ->add_option_function<std::string>("--from-time", time_bound(options.range.time_from),
                                           "Только записи с этого времени по часам станции (2020-09-13T12:00:00)")
        ->check(date_time_check);
    command
        ->add_option_function<std::string>("--to-time", time_bound(options.range.time_to),
                                           "Только записи до этого времени включительно")
        ->check(date_time_check);
    command
        ->add_option_function<std::string>(
            "--from-depth", [&options](const std::string& text) { options.range.depth_from = depth_value(text); },
            "Только записи с этой глубины Z, м")
        ->check(depth_check);
    command
        ->add_option_function<std::string>(
            "--to-depth", [&options](const std::string& text) { options.range.depth_to = depth_value(text); },
            "Только записи до этой глубины Z включительно, м")
        ->check(depth_check);
    command
        ->add_option_function<std::string>(
            "--time-zone",
            [&options](const std::string& text) { options.utc_offset_minutes = data_export::parse_utc_offset(text); },
            "Часовой пояс часов станции для WITSML (+05:00); иначе time_zone настроек, иначе пояс этого компьютера")
        ->check(offset_check);
    add_store_options(*command, options.store, false);
    return command;
}

int run_export(const ExportOptions& options, std::ostream& out, std::ostream& err)
{
    if (options.file.empty() && options.well.empty()) {
        report(err, "export: нужен FILE или --well ПЛОЩАДЬ/СКВАЖИНА");
        return exit_usage;
    }
    if (!options.well.empty() && (options.format != data_export::Format::witsml || options.output.empty())) {
        report(err, "export --well пишет только --format witsml и только в папку -o");
        return exit_usage;
    }
    if (std::string problem = check_store_options(options.store); !problem.empty()) {
        report(err, problem);
        return exit_usage;
    }
    const StorePaths paths = resolve_store(options.store);
    std::optional<int> zone;
    if (!resolve_zone(options, paths, zone, err))
        return exit_failure;
    if (!options.well.empty())
        return export_well(options, paths, zone, out, err);
    return export_file(options, zone, out, err);
}

} // namespace dravinex_cli
