// WITSML 1.4.1.1: a <logs> document with one <log> per pass of a data file, and the <wells>
// and <wellbores> documents of its well. Written as text in the schema's element order, row
// by row; the only things computed ahead are the index range of each pass and of each curve,
// which the header states before the rows.
//
// An index of a WITSML log never turns back: a time file is exported sorted by time (as the
// viewer draws it), a depth file in record order split into passes where the depth turns
// back, each pass a log of its own. The station's clock has no time zone, so every time
// carries the offset of the export's setting, and the log's comments say which it was.

#include "storage/Export_buffer.h"

#include "lib/Utf8.h"
#include "platform/Time_zone.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

namespace data_export {

namespace {

constexpr std::size_t name_length = 64;         // nameString
constexpr std::size_t description_length = 256; // descriptionString
constexpr std::size_t comment_length = 4000;    // commentString
constexpr std::size_t unit_length = 24;         // uomString
constexpr std::string_view unnamed = "без названия";

// Text as the schema's strings take it: well-formed UTF-8 without control characters, runs
// of blanks as one blank and none at the ends (the schema collapses them, and a text left
// empty is not allowed), at most `length` characters, and escaped for XML. `fallback` when
// nothing is left. `comma` replaces commas, for the comma-separated lists.
std::string xml_text(std::string_view text, std::size_t length, std::string_view fallback, char comma = ',')
{
    std::string result;
    std::size_t characters = 0;
    bool blank = false;
    for (std::size_t i = 0; i < text.size();) {
        const lib::utf8::Step step = lib::utf8::next(text.data() + i, text.size() - i);
        i += step.length;
        char32_t c = step.code_point;
        if (c < 0x20 || c == ' ' || c == 0x7F) {
            blank = characters > 0;
            continue;
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF)
            c = lib::utf8::replacement;
        if (characters + (blank ? 2 : 1) > length)
            break;
        if (blank) {
            result += ' ';
            ++characters;
            blank = false;
        }
        ++characters;
        switch (c) {
        case '&': result += "&amp;"; break;
        case '<': result += "&lt;"; break;
        case '>': result += "&gt;"; break;
        case '"': result += "&quot;"; break;
        case ',': result += comma; break;
        default: {
            char bytes[4];
            result.append(bytes, lib::utf8::encode(c, bytes));
        }
        }
    }
    if (result.empty() && !fallback.empty())
        return xml_text(fallback, length, {});
    return result;
}

void element(std::string& out, std::string_view indent, std::string_view name, std::string_view escaped)
{
    out += indent;
    out += '<';
    out += name;
    out += '>';
    out += escaped;
    out += "</";
    out += name;
    out += ">\n";
}

std::string document_start(std::string_view root)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + std::string(root) + " xmlns=\"" +
           std::string(witsml_namespace) + "\" version=\"" + std::string(witsml_version) + "\">\n";
}

// FNV-1a, 64 bits: the same names give the same uid on every machine and in every version.
std::string hash_text(std::initializer_list<std::string_view> parts)
{
    std::uint64_t hash = 0xcbf29ce484222325u;
    bool first = true;
    for (const std::string_view part : parts) {
        if (!first)
            hash *= 0x100000001b3u; // a zero byte between the parts: ("ab", "c") is not ("a", "bc")
        first = false;
        for (const char c : part) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 0x100000001b3u;
        }
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string uid_attribute(std::string_view name, std::string_view uid)
{
    return " " + std::string(name) + "=\"" + std::string(uid) + "\"";
}

// "2020-09-13T12:26:40+05:00": the station's clock with the export's offset.
class TimestampWriter {
public:
    static constexpr std::size_t size = detail::IsoTimeWriter::size + 6;
    explicit TimestampWriter(int offset_minutes) : offset_(utc_offset_text(offset_minutes)) {}
    char* write(char* out, std::uint32_t time)
    {
        out = time_.write(out, time);
        return std::copy(offset_.begin(), offset_.end(), out);
    }
    std::string text(std::uint32_t time)
    {
        char buffer[size];
        return std::string(buffer, write(buffer, time));
    }

private:
    detail::IsoTimeWriter time_;
    std::string offset_;
};

std::string number_text(float value)
{
    char buffer[lib::float_text_capacity];
    return std::string(buffer, lib::write_float(buffer, value));
}

// The records of the export on the index axis, split into passes along which it never
// decreases, and how many records had no place on it.
struct Passes {
    std::vector<const FileStorageItem*> records;
    std::vector<std::size_t> starts; // first record of each pass, then records.size()
    std::size_t left_out = 0;
};

Passes split_passes(const FileStorage& model, const Options& options)
{
    Passes passes;
    passes.records = detail::selected_records(model, options.range);
    std::vector<const FileStorageItem*>& records = passes.records;
    const bool depth = options.index == data_file::IndexKind::depth;
    if (depth) {
        // A values-only record has no depths (they read as 0), and a depth that is not a
        // number has no place on the axis.
        const auto unplaced = [](const FileStorageItem* r) { return r->stamped == 0 || !std::isfinite(r->depth_z); };
        const auto end = std::remove_if(records.begin(), records.end(), unplaced);
        passes.left_out = static_cast<std::size_t>(records.end() - end);
        records.erase(end, records.end());
    }
    else {
        // Stable, so that records of one second keep their file order; mostly sorted already.
        const auto by_time = [](const FileStorageItem* a, const FileStorageItem* b) { return a->time < b->time; };
        if (!std::is_sorted(records.begin(), records.end(), by_time))
            std::stable_sort(records.begin(), records.end(), by_time);
    }
    passes.starts.push_back(0);
    for (std::size_t i = 1; i < records.size(); ++i)
        if (depth && records[i]->depth_z < records[i - 1]->depth_z)
            passes.starts.push_back(i);
    passes.starts.push_back(records.size());
    return passes;
}

struct LogContext {
    const FileStorage& model;
    const Options& options;
    const std::vector<detail::Column>& columns;
    TimestampWriter& timestamps;
    int offset_minutes;
    bool zone_from_machine;
};

// The index of a record as the header states it.
std::string index_text(LogContext& context, const FileStorageItem& record)
{
    if (context.options.index == data_file::IndexKind::depth)
        return number_text(record.depth_z);
    return context.timestamps.text(record.time);
}

// "<startIndex uom="m">...</startIndex><endIndex ...>" for depth, the DateTime elements for
// time; `low` and `high` name the pair ("start" and "end", or "min" and "max").
void index_range(std::string& out, LogContext& context, std::string_view indent, std::string_view low,
                 std::string_view high, const FileStorageItem& first, const FileStorageItem& last)
{
    const bool depth = context.options.index == data_file::IndexKind::depth;
    for (const auto& [name, record] : {std::pair{low, &first}, std::pair{high, &last}}) {
        const std::string text = index_text(context, *record);
        if (depth)
            out += std::string(indent) + "<" + std::string(name) + "Index uom=\"m\">" + text + "</" +
                   std::string(name) + "Index>\n";
        else
            element(out, indent, std::string(name) + "DateTimeIndex", text);
    }
}

bool has_value(const FileStorageItem& record, const detail::Column& column)
{
    return column.field == detail::RecordField::time || std::isfinite(detail::float_value(record, column));
}

void curve_info(std::string& out, LogContext& context, const detail::Column& column,
                const std::vector<const FileStorageItem*>& rows)
{
    out += "    <logCurveInfo uid=\"" + column.mnemonic + "\">\n";
    element(out, "      ", "mnemonic", column.mnemonic);
    const std::string unit = xml_text(column.witsml_unit, unit_length, {}, ';');
    if (!unit.empty())
        element(out, "      ", "unit", unit);
    const auto first = std::find_if(rows.begin(), rows.end(), [&](const auto* r) { return has_value(*r, column); });
    if (first != rows.end()) {
        const auto last = std::find_if(rows.rbegin(), rows.rend(), [&](const auto* r) { return has_value(*r, column); });
        index_range(out, context, "      ", "min", "max", **first, **last);
    }
    element(out, "      ", "curveDescription", xml_text(column.description, description_length, column.mnemonic));
    element(out, "      ", "typeLogData", column.field == detail::RecordField::time ? "date time" : "float");
    out += "    </logCurveInfo>\n";
}

std::string comments(const LogContext& context)
{
    std::string text = "Экспорт Dravinex файла данных станции ГТИ «" + context.options.file_name +
                       "». Время записей — по часам станции, записано с часовым поясом UTC" +
                       utc_offset_text(context.offset_minutes) +
                       (context.zone_from_machine ? " (пояс компьютера, на котором сделан экспорт)."
                                                  : " (из настроек экспорта).") +
                       " Пустые значения: -999.25.";
    const std::vector<std::string>& lines = context.model.text_values.lines();
    if (!lines.empty()) {
        text += " Тексты файла:";
        for (const std::string& line : lines)
            text += " " + line + ";";
    }
    return xml_text(text, comment_length, {});
}

void write_rows(LogContext& context, const std::vector<const FileStorageItem*>& rows, detail::TextBuffer& out)
{
    const std::vector<detail::Column>& columns = context.columns;
    const std::size_t row_bytes =
        16 + TimestampWriter::size + columns.size() * (detail::max_number_bytes + las_null.size());
    constexpr std::string_view open = "    <data>";
    constexpr std::string_view close = "</data>\n";
    for (const FileStorageItem* record : rows) {
        char* p = std::copy(open.begin(), open.end(), out.reserve(row_bytes));
        bool first = true;
        for (const detail::Column& column : columns) {
            if (!first)
                *p++ = ',';
            first = false;
            if (column.field == detail::RecordField::time)
                p = context.timestamps.write(p, record->time);
            else
                p = detail::write_value(p, detail::float_value(*record, column), las_null);
        }
        out.commit(std::copy(close.begin(), close.end(), p));
    }
}

void write_log(LogContext& context, const std::vector<const FileStorageItem*>& rows, std::size_t pass,
               std::size_t pass_count, detail::TextBuffer& out)
{
    const Options& options = context.options;
    const std::string well = xml_text(options.well, name_length, unnamed);
    std::string log_uid = witsml_log_uid(options.area, options.well, options.file_name);
    std::string name = options.file_name;
    if (pass > 1) {
        log_uid += "-p" + std::to_string(pass);
        name += " (проход " + std::to_string(pass) + ")";
    }

    std::string header = "  <log" + uid_attribute("uidWell", witsml_well_uid(options.area, options.well)) +
                         uid_attribute("uidWellbore", witsml_wellbore_uid(options.area, options.well)) +
                         uid_attribute("uid", log_uid) + ">\n";
    element(header, "    ", "nameWell", well);
    element(header, "    ", "nameWellbore", well);
    element(header, "    ", "name", xml_text(name, name_length, unnamed));
    if (pass_count > 1)
        element(header, "    ", "pass", std::to_string(pass));
    const bool depth = options.index == data_file::IndexKind::depth;
    element(header, "    ", "indexType", depth ? "measured depth" : "date time");
    if (!rows.empty())
        index_range(header, context, "    ", "start", "end", *rows.front(), *rows.back());
    element(header, "    ", "direction", "increasing");
    element(header, "    ", "indexCurve", context.columns.front().mnemonic);
    element(header, "    ", "nullValue", las_null);
    for (const detail::Column& column : context.columns)
        curve_info(header, context, column, rows);
    if (!rows.empty()) {
        header += "    <logData>\n";
        std::string mnemonics;
        std::string units;
        for (const detail::Column& column : context.columns) {
            mnemonics += column.mnemonic + ",";
            units += xml_text(column.witsml_unit, unit_length, {}, ';') + ",";
        }
        mnemonics.pop_back();
        units.pop_back();
        element(header, "      ", "mnemonicList", mnemonics);
        element(header, "      ", "unitList", units);
        out.append(header);
        header.clear();
        write_rows(context, rows, out);
        header += "    </logData>\n";
    }
    header += "    <commonData>\n";
    if (!xml_text(options.station, name_length, {}).empty())
        element(header, "      ", "sourceName", xml_text(options.station, name_length, {}));
    element(header, "      ", "comments", comments(context));
    header += "    </commonData>\n  </log>\n";
    out.append(header);
}

} // namespace

namespace detail {

void write_witsml(const FileStorage& model, const Options& options, TextBuffer& out)
{
    std::vector<Column> columns = export_columns(model);
    put_index_first(columns, options.index);
    const Passes passes = split_passes(model, options);
    const bool zone_from_machine = !options.utc_offset_minutes;
    const int offset = options.utc_offset_minutes.value_or(
        machine_utc_offset_minutes(passes.records.empty() ? 0 : passes.records.front()->time));
    TimestampWriter timestamps(offset);
    LogContext context{model, options, columns, timestamps, offset, zone_from_machine};

    out.append(document_start("logs"));
    const std::size_t pass_count = passes.starts.size() - 1;
    for (std::size_t pass = 0; pass < pass_count; ++pass) {
        const auto begin = passes.records.begin() + static_cast<std::ptrdiff_t>(passes.starts[pass]);
        const auto end = passes.records.begin() + static_cast<std::ptrdiff_t>(passes.starts[pass + 1]);
        write_log(context, std::vector<const FileStorageItem*>(begin, end), pass + 1, pass_count, out);
    }
    out.append("</logs>\n");
}

} // namespace detail

std::vector<std::string> warnings(const FileStorage& model, const Options& options)
{
    std::vector<std::string> result;
    if (options.format != Format::witsml)
        return result;
    for (const detail::Column& column : detail::export_columns(model))
        if (!column.unit_mapped && !column.unit.empty())
            result.push_back("единица «" + column.unit + "» параметра «" + column.description +
                             "» записана как есть: обозначения WITSML для неё нет");
    const Passes passes = split_passes(model, options);
    if (passes.left_out > 0)
        result.push_back("записей без глубины (без числа глубины или без отметки), которых нет в журнале по глубине: " +
                         std::to_string(passes.left_out));
    return result;
}

std::string utc_offset_text(int minutes)
{
    const int magnitude = minutes < 0 ? -minutes : minutes;
    char text[8];
    std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', magnitude / 60 % 100, magnitude % 60);
    return text;
}

std::optional<int> parse_utc_offset(std::string_view text)
{
    if (text == "Z" || text == "z" || text == "UTC" || text == "utc")
        return 0;
    if (text.size() < 2 || (text[0] != '+' && text[0] != '-'))
        return std::nullopt;
    const int sign = text[0] == '-' ? -1 : 1;
    std::string digits;
    bool colon = false;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == ':' && !colon && digits.size() >= 1 && digits.size() <= 2) {
            colon = true;
            if (digits.size() == 1)
                digits.insert(digits.begin(), '0');
            continue;
        }
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        digits += text[i];
    }
    if (digits.size() <= 2 && !colon)
        digits += "00";
    if (digits.size() == 3 && !colon)
        digits.insert(digits.begin(), '0');
    if (digits.size() != 4 || (colon && text.back() == ':'))
        return std::nullopt;
    const int hours = (digits[0] - '0') * 10 + (digits[1] - '0');
    const int minutes = (digits[2] - '0') * 10 + (digits[3] - '0');
    if (minutes >= 60)
        return std::nullopt;
    const int offset = sign * (hours * 60 + minutes);
    if (offset < -12 * 60 || offset > 14 * 60)
        return std::nullopt;
    return offset;
}

int machine_utc_offset_minutes(std::uint32_t station_time)
{
    // The station's clock read as UTC lies within a day of the instant it means, which is
    // exact for zones that keep one offset and off only around a change of a seasonal one.
    return static_cast<int>(platform::utc_offset_at(station_time) / 60);
}

std::string witsml_well_uid(std::string_view area, std::string_view well)
{
    return "dvx-well-" + hash_text({area, well});
}

std::string witsml_wellbore_uid(std::string_view area, std::string_view well)
{
    return "dvx-wellbore-" + hash_text({area, well});
}

std::string witsml_log_uid(std::string_view area, std::string_view well, std::string_view file_name)
{
    return "dvx-log-" + hash_text({area, well, file_name});
}

void write_witsml_well(const WellIdentity& identity, int utc_offset_minutes, const Sink& sink)
{
    std::string text = document_start("wells");
    text += "  <well" + uid_attribute("uid", witsml_well_uid(identity.area, identity.well)) + ">\n";
    element(text, "    ", "name", xml_text(identity.well, name_length, unnamed));
    const std::string field = xml_text(identity.area, name_length, {});
    if (!field.empty())
        element(text, "    ", "field", field);
    element(text, "    ", "timeZone", utc_offset_text(utc_offset_minutes));
    text += "    <commonData>\n";
    if (!xml_text(identity.station, name_length, {}).empty())
        element(text, "      ", "sourceName", xml_text(identity.station, name_length, {}));
    element(text, "      ", "comments",
            xml_text("Скважина «" + identity.well + "» площади «" + identity.area + "» хранилища данных ГТИ Dravinex.",
                     comment_length, {}));
    text += "    </commonData>\n  </well>\n</wells>\n";
    sink(text);
}

void write_witsml_wellbore(const WellIdentity& identity, const Sink& sink)
{
    std::string text = document_start("wellbores");
    text += "  <wellbore" + uid_attribute("uidWell", witsml_well_uid(identity.area, identity.well)) +
            uid_attribute("uid", witsml_wellbore_uid(identity.area, identity.well)) + ">\n";
    const std::string name = xml_text(identity.well, name_length, unnamed);
    element(text, "    ", "nameWell", name);
    element(text, "    ", "name", name);
    if (!xml_text(identity.station, name_length, {}).empty()) {
        text += "    <commonData>\n";
        element(text, "      ", "sourceName", xml_text(identity.station, name_length, {}));
        text += "    </commonData>\n";
    }
    text += "  </wellbore>\n</wellbores>\n";
    sink(text);
}

} // namespace data_export
