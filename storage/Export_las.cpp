// LAS 2.0, unwrapped: ~Version, ~Well, ~Curve, ~Other with the file's text values, ~ASCII.
// The first curve is the index: the record time in seconds for time files, the first depth
// for depth files. Header lines read "MNEM.UNIT VALUE : DESCRIPTION"; the colon before the
// description is the line's only colon, so nothing else on the line may hold one.

#include "storage/Export_buffer.h"

#include "lib/Mytime.h"

#include <charconv>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

namespace data_export::detail {

namespace {

constexpr std::string_view line_end = "\r\n";
constexpr std::size_t mnemonic_column = 24; // header values start here, for the eye only

// Blanks end a unit or a value early, colons end them before the description, control
// characters end the line: keep the text on its one field.
std::string header_text(std::string_view text, char blank)
{
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        if (c == ':')
            result += '.';
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || (c == ' ' && blank != ' '))
            result += blank;
        else
            result += c;
    }
    return result;
}

// Characters, not bytes, so that Cyrillic units line up too.
std::size_t display_width(std::string_view text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xc0) != 0x80; }));
}

void header_line(std::string& text, std::string_view mnemonic, std::string_view unit, std::string_view value,
                 std::string_view description)
{
    std::string line = " " + std::string(mnemonic) + "." + header_text(unit, '_');
    const std::size_t width = display_width(line);
    line.append(width < mnemonic_column ? mnemonic_column - width : 1, ' ');
    line += header_text(value, ' ');
    line += " : ";
    line += header_text(description, ' ');
    text += line;
    text += line_end;
}

// Times are whole seconds, too large for a float; depths are floats.
std::string index_text(double value, RecordField field)
{
    char buffer[lib::float_text_capacity];
    if (field == RecordField::time && std::isfinite(value))
        return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
    return std::string(buffer, write_value(buffer, static_cast<float>(value), las_null));
}

using Records = std::vector<const FileStorageItem*>;

// Equal steps give their size; anything else, or fewer than two records, gives 0. Times
// are whole seconds and compare exactly; depths are floats, whose steps wobble by a few
// units in their last place, so they count as equal within that and are given rounded to
// the digits a float holds.
double index_step(const Records& records, RecordField index)
{
    constexpr double float_wobble = 3e-7;
    std::vector<double> values;
    values.reserve(records.size());
    for (const FileStorageItem* record : records)
        values.push_back(field_value(*record, index));
    if (values.size() < 2)
        return 0;
    double magnitude = 0;
    for (const double value : values)
        magnitude = std::max(magnitude, std::abs(value));
    const double step = values[1] - values[0];
    const double tolerance = index == RecordField::time ? 0 : magnitude * float_wobble;
    for (std::size_t i = 1; i < values.size(); ++i)
        if (!(std::abs(values[i] - values[i - 1] - step) <= tolerance))
            return 0;
    if (index == RecordField::time || magnitude == 0)
        return step;
    const int digits = 7 - static_cast<int>(std::ceil(std::log10(magnitude)));
    if (digits < 0)
        return step;
    const double scale = std::pow(10.0, digits);
    return std::round(step * scale) / scale;
}

std::string date_of(std::uint32_t time)
{
    const lib::TimeFields fields = lib::split_seconds(time);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", fields.year, fields.month, fields.day);
    return text;
}

void write_version(std::string& text)
{
    text += "~Version information";
    text += line_end;
    header_line(text, "VERS", "", "2.0", "CWLS LOG ASCII STANDARD - VERSION 2.0");
    header_line(text, "WRAP", "", "NO", "Одна строка на отсчёт");
}

// Station fields are the file's own name=value texts, after the fields every LAS file has.
void write_station_fields(std::string& text, const FileStorage& model, std::vector<std::string>& taken)
{
    std::vector<std::string> names;
    std::vector<std::string> values;
    for (const std::string& line : model.text_values.lines()) {
        const auto equals = line.find('=');
        if (equals == std::string::npos || equals == 0)
            continue;
        names.push_back(line.substr(0, equals));
        values.push_back(line.substr(equals + 1));
    }
    const std::vector<std::string> mnemonics = unique_mnemonics(names, taken);
    for (std::size_t i = 0; i < names.size(); ++i)
        header_line(text, mnemonics[i], "", values[i], names[i]);
}

void write_well(std::string& text, const FileStorage& model, const Records& records, const Options& options,
                const Column& index)
{
    const FileStorageItem* first = records.empty() ? nullptr : records.front();
    const FileStorageItem* last = records.empty() ? nullptr : records.back();
    const RecordField field = *index.field;
    const std::string start = first ? index_text(field_value(*first, field), field) : std::string(las_null);
    const std::string stop = last ? index_text(field_value(*last, field), field) : std::string(las_null);

    text += "~Well information";
    text += line_end;
    header_line(text, "STRT", index.unit, start, "Начало");
    header_line(text, "STOP", index.unit, stop, "Конец");
    header_line(text, "STEP", index.unit, index_text(index_step(records, field), field), "Шаг (0 - неравномерный)");
    header_line(text, "NULL", "", las_null, "Пустое значение");
    header_line(text, "COMP", "", "", "Компания");
    header_line(text, "WELL", "", options.well, "Скважина");
    header_line(text, "FLD", "", options.area, "Площадь");
    header_line(text, "LOC", "", "", "Местоположение");
    header_line(text, "PROV", "", "", "Область");
    header_line(text, "SRVC", "", "", "Сервисная компания");
    header_line(text, "DATE", "", first ? date_of(first->time) : std::string(), "Дата первой записи");
    header_line(text, "UWI", "", "", "Идентификатор скважины");
    std::vector<std::string> taken = {"STRT", "STOP", "STEP", "NULL", "COMP", "WELL",
                                      "FLD",  "LOC",  "PROV", "SRVC", "DATE", "UWI"};
    write_station_fields(text, model, taken);
}

void write_curves(std::string& text, const std::vector<Column>& curves)
{
    text += "~Curve information";
    text += line_end;
    for (const Column& curve : curves)
        header_line(text, curve.mnemonic, curve.unit, "", curve.description);
}

// Free text; a line that starts like a section or a comment is shifted by a blank.
void write_other(std::string& text, const FileStorage& model)
{
    if (model.text_values.lines().empty())
        return;
    text += "~Other information";
    text += line_end;
    for (const std::string& line : model.text_values.lines()) {
        if (!line.empty() && (line.front() == '~' || line.front() == '#'))
            text += ' ';
        text += header_text(line, ' ');
        text += line_end;
    }
}

void write_data(const Records& records, const std::vector<Column>& curves, TextBuffer& out)
{
    out.append("~ASCII");
    out.append(line_end);
    const std::size_t row_bytes = curves.size() * max_number_bytes + las_null.size() + line_end.size();
    for (const FileStorageItem* record : records) {
        char* const start = out.reserve(row_bytes);
        char* p = start;
        for (const Column& curve : curves) {
            if (p != start)
                *p++ = ' ';
            if (curve.field == RecordField::time) {
                // Whole seconds: a float would round times of this size to 128 s.
                p = std::to_chars(p, p + 16, record->time).ptr;
                continue;
            }
            p = write_value(p, float_value(*record, curve), las_null);
        }
        *p++ = '\r';
        *p++ = '\n';
        out.commit(p);
    }
}

} // namespace

void write_las(const FileStorage& model, const Options& options, TextBuffer& out)
{
    std::vector<Column> curves = export_columns(model);
    put_index_first(curves, options.index);
    const Records records = selected_records(model, options.range);
    std::string header;
    write_version(header);
    write_well(header, model, records, options, curves.front());
    write_curves(header, curves);
    write_other(header, model);
    out.append(header);
    write_data(records, curves, out);
}

} // namespace data_export::detail
