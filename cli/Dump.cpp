#include "cli/Dump.h"

#include "cli/Cli.h"
#include "cli/Output.h"
#include "cli/Store.h"
#include "extract/Extractthread.h"
#include "lib/Float_text.h"
#include "lib/Mytime.h"
#include "lib/Strworks.h"
#include "storage/Data_file.h"
#include "storage/Load_warnings.h"
#include "storage/Export.h"
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

using data_export::valid_params;
using data_export::value_columns;
using lib::float_text;
using ordered_json = nlohmann::ordered_json;

// The fixed fields of a record, in the order every form prints them.
constexpr std::string_view record_fields[] = {"time",      "subsecond", "depth_z", "depth_cur",
                                              "lag_depth", "operation", "stamped"};

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
        data_export::append_csv_field(line, column_name(model, column));
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

// One indented line of a table, each cell padded to its column's width.
void write_table_row(std::ostream& out, const std::vector<std::string>& cells, const std::vector<std::size_t>& widths)
{
    std::string line = "  ";
    for (std::size_t c = 0; c < cells.size(); ++c)
        append_padded(line, cells[c], widths[c]);
    end_line(line);
    write_line(out, line);
}

void write_text_header(const FileStorage& model, std::ostream& out)
{
    std::string line = "Версия формата: ";
    append_integer(line, model.version);
    line += "\nКодировка: ";
    append_integer(line, model.encoding);
    line += " (";
    line += encoding_name(model.encoding);
    line += ")\nФорма: ";
    line += model.realtime_form != 0 ? "реального времени" : "классическая";
    line += '\n';
    write_line(out, line);
}

// Each column as wide as its widest cell.
std::vector<std::size_t> fitting_widths(const std::vector<std::string>& captions,
                                        const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::size_t> widths;
    for (const std::string& caption : captions)
        widths.push_back(display_width(caption));
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], display_width(row[c]));
    return widths;
}

void write_param_table(const FileStorage& model, std::ostream& out)
{
    const std::size_t param_count = valid_params(model);
    write_line(out, "\nПараметры: " + std::to_string(param_count) + '\n');
    if (param_count == 0)
        return;
    const std::vector<std::string> captions = {"№", "Имя", "Текст 1", "Текст 2", "Текст 3", "Целый", "Вещ."};
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < param_count; ++i) {
        const FileStorageParam& param = model.params[i];
        rows.push_back({std::to_string(i), printable(param.name), printable(param.text1), printable(param.text2),
                        printable(param.text3), std::to_string(param.int_attr), float_text(param.float_attr)});
    }
    const std::vector<std::size_t> widths = fitting_widths(captions, rows);
    write_table_row(out, captions, widths);
    for (const auto& row : rows)
        write_table_row(out, row, widths);
}

// The fixed captions of the record table, then one per value column.
std::vector<std::string> record_captions(const FileStorage& model)
{
    std::vector<std::string> captions = {"Время",        "Дата и время",  "Доля",     "Глубина Z",
                                         "Глубина тек.", "Глубина отст.", "Операция", "Метка"};
    const std::size_t columns = value_columns(model);
    for (std::size_t column = 0; column < columns; ++column)
        captions.push_back(printable(column_name(model, column)));
    return captions;
}

// Record columns keep a minimum width, so that short names do not squeeze the numbers; the
// date column always fits the longest date.
std::vector<std::size_t> record_widths(const std::vector<std::string>& captions)
{
    std::vector<std::size_t> widths;
    for (const std::string& caption : captions)
        widths.push_back(std::max(min_column_width, display_width(caption)));
    widths[1] = std::max(widths[1], date_time_width);
    return widths;
}

std::vector<std::string> record_cells(const FileStorageItem& record, std::size_t columns)
{
    // The time also as the journal writes dates, so a reader need not count seconds.
    std::vector<std::string> cells = {std::to_string(record.time),      lib::format_time(record.time, true),
                                      std::to_string(record.subsecond), float_text(record.depth_z),
                                      float_text(record.depth_cur),     float_text(record.lag_depth),
                                      std::to_string(record.operation), std::to_string(record.stamped)};
    for (std::size_t column = 0; column < columns; ++column)
        cells.push_back(column < record.values.size() ? float_text(record.values[column]) : "-");
    return cells;
}

void write_record_table(const FileStorage& model, std::ostream& out)
{
    write_line(out, "\nЗаписи: " + std::to_string(model.records.size()) + '\n');
    if (model.records.empty())
        return;
    const std::vector<std::string> captions = record_captions(model);
    const std::vector<std::size_t> widths = record_widths(captions);
    const std::size_t columns = value_columns(model);
    write_table_row(out, captions, widths);
    // Row by row, never as a whole table: a file may hold millions of records.
    for (const auto& record : model.records)
        if (record)
            write_table_row(out, record_cells(*record, columns), widths);
}

// A caption with the count, then each text on its own indented line.
void write_text_list(std::ostream& out, std::string_view caption, const std::vector<std::string>& texts)
{
    std::string line = "\n";
    line += caption;
    line += ": ";
    append_integer(line, texts.size());
    line += '\n';
    for (const std::string& text : texts) {
        line += "  ";
        line += printable(text);
        line += '\n';
    }
    write_line(out, line);
}

void write_text_dump(const FileStorage& model, std::ostream& out)
{
    write_text_header(model, out);
    write_param_table(model, out);
    write_record_table(model, out);
    write_text_list(out, "Текстовые значения", model.text_values.lines());
    std::vector<std::string> warnings;
    for (const std::string& warning : model.warnings)
        warnings.push_back(storage::warning_text(warning));
    write_text_list(out, "Предупреждения", warnings);
}

} // namespace

CLI::App* add_dump_command(CLI::App& app, DumpOptions& options)
{
    CLI::App* dump = app.add_subcommand("dump", "Показать параметры, записи, текстовые значения и предупреждения одного файла данных");
    dump->add_option("FILE", options.file,
                     "Файл данных (.tim .dep .ldp .realtim .realdep .reallag .rtm .incldep .compr1 .newcompr1) "
                     "или, с --form-version, общее начало имён набора сжатых файлов столбцов")
        ->required();
    add_form_version_option(*dump, options.form_version);
    dump->add_option_function<std::string>(
            "--format",
            [&options](const std::string& name) {
                options.format = name == "csv" ? DumpFormat::csv : name == "json" ? DumpFormat::json : DumpFormat::text;
            },
            "Форма вывода: text (по умолчанию), csv или json")
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
    catch (const std::exception& e) {
        return report_failure(err, options.file, lib::io::describe_error(e));
    }
    write_dump(model, options.format, out);
    return finish_output(out, err);
}

} // namespace dravinex_cli
