#include "cli/Dump.h"

#include "cli/Cli.h"
#include "cli/Output.h"
#include "cli/Store.h"
#include "lib/Mytime.h"
#include "lib/Strworks.h"
#include "lib/io/Binary_io.h"
#include "storage/Data_file.h"
#include "storage/Load_warnings.h"
#include "storage/Realtimedatareader.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dravinex_cli {

namespace {

using ordered_json = nlohmann::ordered_json;

// The fixed fields of a record, in the order every form prints them.
constexpr std::string_view record_fields[] = {"time",      "subsecond", "depth_z", "depth_cur",
                                              "lag_depth", "operation", "stamped"};

// Only the first param_count entries describe parameters; never trust it beyond the array.
std::size_t valid_params(const FileStorage& model)
{
    if (model.param_count <= 0)
        return 0;
    return std::min(static_cast<std::size_t>(model.param_count), model.params.size());
}

// Records never hold more values than there are parameters, but a model filled by hand
// could; their extra values still get a column rather than vanish.
std::size_t value_columns(const FileStorage& model)
{
    std::size_t columns = valid_params(model);
    for (const auto& record : model.records)
        if (record)
            columns = std::max(columns, record->values.size());
    return columns;
}

std::string column_name(const FileStorage& model, std::size_t column)
{
    if (column < valid_params(model))
        return model.params[column].name;
    return "#" + std::to_string(column);
}

std::string_view encoding_name(int encoding)
{
    switch (encoding) {
    case lib::enc_866: return "cp866";
    case lib::enc_1251: return "cp1251";
    case lib::enc_utf8: return "UTF-8";
    default: return "?";
    }
}

template <typename Integer>
void append_integer(std::string& line, Integer value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    line.append(buffer, result.ptr);
}

// Ends a line of padded columns without the blanks of its last column.
void end_line(std::string& line)
{
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    line += '\n';
}

void write_line(std::ostream& out, const std::string& line)
{
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
}

// --- JSON -------------------------------------------------------------------------------

// A float as the JSON number of its shortest text, so 0.1f prints as 0.1 and reads back as
// the same float; JSON has no NaN or infinities, so those become strings.
ordered_json json_float(float value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "Infinity" : "-Infinity";
    const std::string text = float_text(value);
    double number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

void write_json(std::ostream& out, const ordered_json& value)
{
    // Model texts are UTF-8 already; replacing bad bytes keeps a damaged text from
    // throwing in the middle of the output.
    write_line(out, value.dump(-1, ' ', false, ordered_json::error_handler_t::replace));
}

template <typename Items, typename ToJson>
void write_json_array(std::ostream& out, std::string_view key, Items&& items, ToJson to_json)
{
    out << '"' << key << "\": [";
    bool first = true;
    for (const auto& item : items) {
        out << (first ? "\n" : ",\n");
        first = false;
        write_json(out, to_json(item));
    }
    out << (first ? "]" : "\n]");
}

ordered_json param_json(const FileStorageParam& param)
{
    ordered_json json = ordered_json::object();
    json["text1"] = param.text1;
    json["text2"] = param.text2;
    json["text3"] = param.text3;
    json["name"] = param.name;
    json["int_attr"] = param.int_attr;
    json["float_attr"] = json_float(param.float_attr);
    return json;
}

ordered_json record_json(const FileStorageItem& record)
{
    ordered_json values = ordered_json::array();
    for (const float value : record.values)
        values.push_back(json_float(value));
    ordered_json json = ordered_json::object();
    json["time"] = record.time;
    json["datetime"] = lib::format_time(record.time, true);
    json["subsecond"] = record.subsecond;
    json["depth_z"] = json_float(record.depth_z);
    json["depth_cur"] = json_float(record.depth_cur);
    json["lag_depth"] = json_float(record.lag_depth);
    json["operation"] = record.operation;
    json["stamped"] = record.stamped;
    json["values"] = std::move(values);
    return json;
}

void write_json_dump(const FileStorage& model, std::ostream& out)
{
    const auto as_string = [](const std::string& text) { return ordered_json(text); };
    const std::span<const FileStorageParam> params(model.params.data(), valid_params(model));
    // A plain list rather than a filtered view: clang 14 cannot compile libstdc++ 12's views.
    std::vector<const FileStorageItem*> records;
    for (const auto& record : model.records)
        if (record != nullptr)
            records.push_back(record.get());

    // Integers through to_string: the stream's locale could group digits or the like.
    out << "{\"version\": " << std::to_string(model.version) << ",\n\"encoding\": " << std::to_string(model.encoding)
        << ",\n\"realtime_form\": " << std::to_string(model.realtime_form) << ",\n";
    write_json_array(out, "params", params, param_json);
    out << ",\n";
    write_json_array(out, "records", records, [](const auto& record) { return record_json(*record); });
    out << ",\n";
    write_json_array(out, "text_values", model.text_values.lines(), as_string);
    out << ",\n";
    write_json_array(out, "warnings", model.warnings, as_string);
    out << ",\n";
    // The sentences a person reads, in the order of "warnings", which keeps the keys.
    write_json_array(out, "warning_texts", model.warnings,
                     [](const std::string& warning) { return ordered_json(storage::warning_text(warning)); });
    out << "}\n";
}

// --- CSV --------------------------------------------------------------------------------

void write_csv_dump(const FileStorage& model, std::ostream& out)
{
    const std::size_t columns = value_columns(model);
    std::string line;
    for (const std::string_view field : record_fields) {
        line += field;
        line += ',';
    }
    for (std::size_t column = 0; column < columns; ++column) {
        append_csv_field(line, column_name(model, column));
        line += ',';
    }
    line.back() = '\n';
    write_line(out, line);

    for (const auto& record : model.records) {
        if (!record)
            continue;
        line.clear();
        append_integer(line, record->time);
        line += ',';
        append_integer(line, unsigned{record->subsecond});
        line += ',';
        line += float_text(record->depth_z);
        line += ',';
        line += float_text(record->depth_cur);
        line += ',';
        line += float_text(record->lag_depth);
        line += ',';
        append_integer(line, unsigned{record->operation});
        line += ',';
        append_integer(line, unsigned{record->stamped});
        for (std::size_t column = 0; column < columns; ++column) {
            line += ',';
            if (column < record->values.size())
                line += float_text(record->values[column]);
        }
        line += '\n';
        write_line(out, line);
    }
}

// --- text -------------------------------------------------------------------------------

constexpr std::size_t min_column_width = 10;
// The longest date-time text: "30 сентября 2021г. 23:59:59".
constexpr std::size_t date_time_width = 27;

void write_text_dump(const FileStorage& model, std::ostream& out)
{
    std::string line;
    line += "Версия формата: ";
    append_integer(line, model.version);
    line += "\nКодировка: ";
    append_integer(line, model.encoding);
    line += " (";
    line += encoding_name(model.encoding);
    line += ")\nФорма: ";
    line += model.realtime_form != 0 ? "реального времени" : "классическая";
    line += "\n\nПараметры: ";
    append_integer(line, valid_params(model));
    line += '\n';
    write_line(out, line);

    const std::size_t param_count = valid_params(model);
    if (param_count > 0) {
        const std::vector<std::string_view> captions = {"№", "Имя", "Текст 1", "Текст 2", "Текст 3", "Целый", "Вещ."};
        std::vector<std::vector<std::string>> rows;
        for (std::size_t i = 0; i < param_count; ++i) {
            const FileStorageParam& param = model.params[i];
            rows.push_back({std::to_string(i), printable(param.name), printable(param.text1), printable(param.text2),
                            printable(param.text3), std::to_string(param.int_attr), float_text(param.float_attr)});
        }
        std::vector<std::size_t> widths;
        for (const std::string_view caption : captions)
            widths.push_back(display_width(caption));
        for (const auto& row : rows)
            for (std::size_t c = 0; c < row.size(); ++c)
                widths[c] = std::max(widths[c], display_width(row[c]));

        line.assign("  ");
        for (std::size_t c = 0; c < captions.size(); ++c)
            append_padded(line, captions[c], widths[c]);
        end_line(line);
        write_line(out, line);
        for (const auto& row : rows) {
            line.assign("  ");
            for (std::size_t c = 0; c < row.size(); ++c)
                append_padded(line, row[c], widths[c]);
            end_line(line);
            write_line(out, line);
        }
    }

    line.assign("\nЗаписи: ");
    append_integer(line, model.records.size());
    line += '\n';
    write_line(out, line);
    if (!model.records.empty()) {
        const std::vector<std::string_view> captions = {"Время",         "Дата и время", "Доля",     "Глубина Z",
                                                        "Глубина тек.",  "Глубина отст.", "Операция", "Метка"};
        const std::size_t columns = value_columns(model);
        std::vector<std::size_t> widths;
        line.assign("  ");
        for (const std::string_view caption : captions) {
            widths.push_back(std::max(min_column_width, display_width(caption)));
            if (caption == captions[1])
                widths.back() = std::max(widths.back(), date_time_width);
            append_padded(line, caption, widths.back());
        }
        for (std::size_t column = 0; column < columns; ++column) {
            const std::string name = printable(column_name(model, column));
            widths.push_back(std::max(min_column_width, display_width(name)));
            append_padded(line, name, widths.back());
        }
        end_line(line);
        write_line(out, line);

        for (const auto& record : model.records) {
            if (!record)
                continue;
            line.assign("  ");
            append_padded(line, std::to_string(record->time), widths[0]);
            // The time as the journal writes dates, so a reader need not count seconds.
            append_padded(line, lib::format_time(record->time, true), widths[1]);
            append_padded(line, std::to_string(record->subsecond), widths[2]);
            append_padded(line, float_text(record->depth_z), widths[3]);
            append_padded(line, float_text(record->depth_cur), widths[4]);
            append_padded(line, float_text(record->lag_depth), widths[5]);
            append_padded(line, std::to_string(record->operation), widths[6]);
            append_padded(line, std::to_string(record->stamped), widths[7]);
            for (std::size_t column = 0; column < columns; ++column)
                append_padded(line, column < record->values.size() ? float_text(record->values[column]) : "-",
                              widths[captions.size() + column]);
            end_line(line);
            write_line(out, line);
        }
    }

    line.assign("\nТекстовые значения: ");
    append_integer(line, model.text_values.lines().size());
    line += '\n';
    for (const std::string& text : model.text_values.lines()) {
        line += "  ";
        line += printable(text);
        line += '\n';
    }
    line += "\nПредупреждения: ";
    append_integer(line, model.warnings.size());
    line += '\n';
    for (const std::string& warning : model.warnings) {
        line += "  ";
        line += printable(storage::warning_text(warning));
        line += '\n';
    }
    write_line(out, line);
}

// One line whatever the reason holds, so that scripts can read the error by lines.
int report_unreadable(std::ostream& err, const std::string& path, std::string_view reason)
{
    err << program_name << ": " << printable(path) << ": " << printable(reason) << '\n';
    return exit_failure;
}

} // namespace

CLI::App* add_dump_command(CLI::App& app, DumpOptions& options)
{
    CLI::App* dump = app.add_subcommand("dump", "Print the parameters, records, texts and warnings of one data file");
    dump->add_option("FILE", options.file,
                     "Data file (.tim .dep .ldp .realtim .realdep .reallag .rtm .incldep .compr1 .newcompr1), "
                     "or the base path of a compressed column-file set with --form-version")
        ->required();
    add_form_version_option(*dump, options.form_version);
    dump->add_option_function<std::string>(
            "--format",
            [&options](const std::string& name) {
                options.format = name == "csv" ? DumpFormat::csv : name == "json" ? DumpFormat::json : DumpFormat::text;
            },
            "Output form (default text)")
        ->check(CLI::IsMember({"text", "csv", "json"}));
    return dump;
}

void write_dump(const FileStorage& model, DumpFormat format, std::ostream& out)
{
    switch (format) {
    case DumpFormat::text: write_text_dump(model, out); break;
    case DumpFormat::csv: write_csv_dump(model, out); break;
    case DumpFormat::json: write_json_dump(model, out); break;
    }
}

void load_for_dump(FileStorage& model, const DumpOptions& options)
{
    data_file::load(model, options.file, options.form_version);
}

int run_dump(const DumpOptions& options, std::ostream& out, std::ostream& err)
{
    FileStorage model;
    try {
        load_for_dump(model, options);
    }
    catch (const lib::io::FileError& e) {
        return report_unreadable(err, options.file, e.reason());
    }
    catch (const std::exception& e) {
        return report_unreadable(err, options.file, e.what());
    }

    write_dump(model, options.format, out);
    // A full disk or a closed pipe must not end in status 0 with half a listing.
    if (!out.flush()) {
        err << program_name << ": не удалось записать вывод\n";
        return exit_failure;
    }
    return exit_ok;
}

} // namespace dravinex_cli
