// The one table of columns that CSV, LAS and WITSML export, and the records a range takes.

#include "storage/Export_buffer.h"

#include <utility>

namespace data_export::detail {

namespace {

Column record_column(std::string caption, std::string mnemonic, std::string unit, std::string witsml_unit,
                     std::string description, RecordField field)
{
    Column column;
    column.caption = std::move(caption);
    column.mnemonic = std::move(mnemonic);
    column.unit = std::move(unit);
    column.witsml_unit = std::move(witsml_unit);
    column.description = std::move(description);
    column.field = field;
    return column;
}

} // namespace

std::vector<Column> export_columns(const FileStorage& model)
{
    std::vector<Column> columns = {
        record_column("Время", "TIME", "S", "s", "Время, секунды от 1970-01-01 00.00.00 по часам станции",
                      RecordField::time),
        record_column("Глубина Z (м)", "DEPT", "M", "m", "Глубина Z", RecordField::depth_z),
        record_column("Глубина тек. (м)", "DCUR", "M", "m", "Глубина текущая", RecordField::depth_cur),
        record_column("Глубина отст. (м)", "DLAG", "M", "m", "Глубина с отставанием", RecordField::lag_depth),
    };
    std::vector<std::string> taken;
    for (const Column& column : columns)
        taken.push_back(column.mnemonic);

    const std::size_t params = valid_params(model);
    const std::size_t values = value_columns(model);
    std::vector<std::string> wanted;
    for (std::size_t column = 0; column < values; ++column) {
        if (column >= params) {
            wanted.push_back("P" + std::to_string(column));
            continue;
        }
        const FileStorageParam& param = model.params[column];
        wanted.push_back(param.text2.empty() ? param.name : param.text2);
    }
    const std::vector<std::string> mnemonics = unique_mnemonics(wanted, taken);
    for (std::size_t index = 0; index < values; ++index) {
        Column column;
        column.mnemonic = mnemonics[index];
        column.column = index;
        if (index < params) {
            const FileStorageParam& param = model.params[index];
            column.caption = param.text1.empty() ? param.name : param.name + " (" + param.text1 + ")";
            column.unit = param.text1;
            column.description = param.name;
            if (const auto symbol = witsml_unit(param.text1))
                column.witsml_unit = *symbol;
            else {
                column.witsml_unit = param.text1;
                column.unit_mapped = false;
            }
        }
        else {
            // Values beyond the described parameters still get a column rather than vanish.
            column.caption = "#" + std::to_string(index);
            column.description = column.caption;
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

void put_index_first(std::vector<Column>& columns, data_file::IndexKind index)
{
    if (index == data_file::IndexKind::depth && columns.size() >= 2)
        std::swap(columns[0], columns[1]);
}

std::vector<const FileStorageItem*> selected_records(const FileStorage& model, const Range& range)
{
    std::vector<const FileStorageItem*> records;
    records.reserve(model.records.size());
    const bool all = range.empty();
    for (const auto& record : model.records) {
        if (!record)
            continue;
        if (!all) {
            if ((range.time_from && record->time < *range.time_from) || (range.time_to && record->time > *range.time_to))
                continue;
            // Written so that a NaN depth fails either bound.
            if ((range.depth_from && !(record->depth_z >= *range.depth_from)) ||
                (range.depth_to && !(record->depth_z <= *range.depth_to)))
                continue;
        }
        records.push_back(record.get());
    }
    return records;
}

} // namespace data_export::detail
