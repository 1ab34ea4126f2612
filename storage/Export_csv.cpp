// CSV: a header row, then one row per record (time, three depths, values), as RFC 4180
// reads it: fields with the separator, a quote or a line break are quoted.

#include "storage/Export_buffer.h"

#include <string>

namespace data_export::detail {

namespace {

constexpr std::string_view line_end = "\r\n";
constexpr std::string_view record_captions[] = {"Время", "Глубина Z (м)", "Глубина тек. (м)", "Глубина отст. (м)"};

std::string column_caption(const FileStorage& model, std::size_t column)
{
    if (column >= valid_params(model))
        return "#" + std::to_string(column);
    const FileStorageParam& param = model.params[column];
    return param.text1.empty() ? param.name : param.name + " (" + param.text1 + ")";
}

void write_header(const FileStorage& model, std::size_t columns, char separator, TextBuffer& out)
{
    std::string line;
    for (const std::string_view caption : record_captions) {
        append_csv_field(line, caption, separator);
        line += separator;
    }
    for (std::size_t column = 0; column < columns; ++column) {
        append_csv_field(line, column_caption(model, column), separator);
        line += separator;
    }
    line.pop_back();
    line += line_end;
    out.append(line);
}

} // namespace

void write_csv(const FileStorage& model, const Options& options, TextBuffer& out)
{
    const std::size_t columns = value_columns(model);
    const char separator = options.separator;
    write_header(model, columns, separator, out);

    const std::size_t row_bytes = IsoTimeWriter::size + (3 + columns) * max_number_bytes + line_end.size();
    IsoTimeWriter time_writer;
    for (const auto& record : model.records) {
        if (!record)
            continue;
        char* p = out.reserve(row_bytes);
        p = time_writer.write(p, record->time);
        for (const float depth : {record->depth_z, record->depth_cur, record->lag_depth}) {
            *p++ = separator;
            p = write_value(p, depth, {});
        }
        for (std::size_t column = 0; column < columns; ++column) {
            *p++ = separator;
            p = write_value(p, column_value(*record, column), {});
        }
        *p++ = '\r';
        *p++ = '\n';
        out.commit(p);
    }
}

} // namespace data_export::detail

namespace data_export {

void append_csv_field(std::string& line, std::string_view field, char separator)
{
    const char special[] = {separator, '"', '\r', '\n', '\0'};
    if (field.find_first_of(special) == std::string_view::npos) {
        line += field;
        return;
    }
    line += '"';
    for (const char c : field) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

} // namespace data_export
