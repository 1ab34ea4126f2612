// CSV: a header row, then one row per record (time, three depths, values), as RFC 4180
// reads it: fields with the separator, a quote or a line break are quoted.

#include "storage/Export_buffer.h"

#include <string>

namespace data_export::detail {

namespace {

constexpr std::string_view line_end = "\r\n";

void write_header(const std::vector<Column>& columns, char separator, TextBuffer& out)
{
    std::string line;
    for (const Column& column : columns) {
        append_csv_field(line, column.caption, separator);
        line += separator;
    }
    line.pop_back();
    line += line_end;
    out.append(line);
}

} // namespace

void write_csv(const FileStorage& model, const Options& options, TextBuffer& out)
{
    // The time comes first, then the three depths and the values, whatever the index.
    const std::vector<Column> table = export_columns(model);
    const std::size_t columns = table.size() - 4;
    const char separator = options.separator;
    write_header(table, separator, out);

    const std::size_t row_bytes = IsoTimeWriter::size + (3 + columns) * max_number_bytes + line_end.size();
    IsoTimeWriter time_writer;
    for (const FileStorageItem* record : selected_records(model, options.range)) {
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
