#include "storage/Export.h"

#include "lib/Inistorage.h"
#include "lib/Mytime.h"
#include "lib/Strworks.h"
#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"
#include "lib/io/File_replacement.h"
#include "platform/File.h"
#include "storage/Export_buffer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>

namespace data_export {

namespace {

constexpr std::uint32_t seconds_per_day = 86400;
constexpr std::size_t writeback_bytes = 1 << 20;

// Writes each piece on a thread of its own while the next one is being formatted, so that
// the copy into the system's cache costs the formatting nothing. One piece is in flight at
// most; it is copied first, since the caller fills its block again at once. The disk
// starts on every few megabytes, so the flush before the rename finds little left to do.
class OverlappedWriter {
public:
    explicit OverlappedWriter(lib::io::OSFile& file) : file_(file) {}
    OverlappedWriter(const OverlappedWriter&) = delete;
    OverlappedWriter& operator=(const OverlappedWriter&) = delete;
    // After a failure elsewhere the write in flight must still end before the file closes.
    ~OverlappedWriter()
    {
        if (pending_.valid())
            pending_.wait();
    }

    void write(std::string_view piece)
    {
        finish();
        block_.assign(piece.begin(), piece.end());
        pending_ = std::async(std::launch::async, [this] { write_block(); });
    }
    // Waits for the write in flight and raises its error, if it had one.
    void finish()
    {
        if (pending_.valid())
            pending_.get();
    }

private:
    void write_block()
    {
        file_.write(block_.data(), block_.size());
        unflushed_ += block_.size();
        if (unflushed_ >= writeback_bytes) {
            platform::start_writeback(file_.handle());
            unflushed_ = 0;
        }
    }

    lib::io::OSFile& file_;
    std::vector<char> block_;
    std::size_t unflushed_ = 0;
    std::future<void> pending_;
};

// The last folder name of a path that ends with '/', and the path without it.
std::string pop_folder(std::string& folder)
{
    if (folder.empty())
        return {};
    folder.pop_back();
    const std::string name = lib::name_of(folder);
    folder.resize(folder.size() - name.size());
    return name;
}

char* write_two_digits(char* out, int value)
{
    out[0] = static_cast<char>('0' + value / 10);
    out[1] = static_cast<char>('0' + value % 10);
    return out + 2;
}

} // namespace

namespace detail {

char* IsoTimeWriter::write(char* out, std::uint32_t time)
{
    const std::uint32_t day = time / seconds_per_day;
    if (day != day_) {
        const lib::TimeFields fields = lib::split_seconds(time);
        std::snprintf(date_, sizeof date_, "%04d-%02d-%02d", fields.year, fields.month, fields.day);
        day_ = day;
    }
    std::memcpy(out, date_, 10);
    out[10] = 'T';
    const std::uint32_t second_of_day = time % seconds_per_day;
    out = write_two_digits(out + 11, static_cast<int>(second_of_day / 3600));
    *out++ = ':';
    out = write_two_digits(out, static_cast<int>(second_of_day / 60 % 60));
    *out++ = ':';
    return write_two_digits(out, static_cast<int>(second_of_day % 60));
}

} // namespace detail

std::string iso_date_time(std::uint32_t time)
{
    char text[detail::IsoTimeWriter::size];
    detail::IsoTimeWriter writer;
    return std::string(text, writer.write(text, time));
}

std::optional<std::uint32_t> parse_iso_date_time(std::string_view text)
{
    // YYYY-MM-DDTHH:MM:SS, a blank allowed for the T.
    constexpr std::string_view form = "dddd-dd-ddTdd:dd:dd";
    if (text.size() != form.size())
        return std::nullopt;
    for (std::size_t i = 0; i < form.size(); ++i) {
        const char c = text[i];
        if (form[i] == 'd' ? (c < '0' || c > '9') : form[i] == 'T' ? (c != 'T' && c != ' ') : c != form[i])
            return std::nullopt;
    }
    const auto number = [text](std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i)
            value = value * 10 + (text[i] - '0');
        return value;
    };
    const lib::TimeFields fields{number(0, 4), number(5, 2), number(8, 2), number(11, 2), number(14, 2), number(17, 2)};
    if (fields.year < 1970 || fields.month < 1 || fields.month > 12 || fields.day < 1 || fields.hour > 23 ||
        fields.minute > 59 || fields.second > 59)
        return std::nullopt;
    // A day past the month's end, or a date past the count's range, does not read back.
    const std::uint32_t count = lib::to_seconds(fields);
    if (lib::split_seconds(count) != fields)
        return std::nullopt;
    return count;
}

std::size_t valid_params(const FileStorage& model)
{
    if (model.param_count <= 0)
        return 0;
    return std::min(static_cast<std::size_t>(model.param_count), model.params.size());
}

std::size_t value_columns(const FileStorage& model)
{
    std::size_t columns = valid_params(model);
    for (const auto& record : model.records)
        if (record)
            columns = std::max(columns, record->values.size());
    return columns;
}

Options options_for(const std::string& path, Format format)
{
    Options options;
    options.format = format;
    options.index = data_file::index_kind_of(path);
    options.file_name = lib::name_of(path);
    std::string folder = lib::folder_of(path);
    const WellIdentity identity = well_identity(folder);
    options.well = identity.well;
    options.area = identity.area;
    options.station = identity.station;
    return options;
}

WellIdentity well_identity(const std::string& well_folder)
{
    WellIdentity identity;
    std::string folder = well_folder;
    identity.well = pop_folder(folder);
    identity.area = pop_folder(folder);
    if (well_folder.empty())
        return identity;
    try {
        const std::unique_ptr<lib::MemIni> ini = lib::open_ini_for_reading(well_folder + "inpgti.ini");
        const auto value = [&ini](std::string_view section, std::string_view key) {
            return lib::unquote(lib::trim(ini->read_string(section, key, "")), '"');
        };
        identity.station = value("скважина", "станция");
        if (identity.station.empty())
            identity.station = value("станция", "название");
        if (identity.station.empty())
            identity.station = value("станция", "номер");
    }
    catch (const std::exception&) {
        // A well without a readable identity file is still exported, without a station.
    }
    return identity;
}

void write(const FileStorage& model, const Options& options, const Sink& sink)
{
    detail::TextBuffer out(sink);
    switch (options.format) {
    case Format::csv: detail::write_csv(model, options, out); break;
    case Format::las: detail::write_las(model, options, out); break;
    case Format::witsml: detail::write_witsml(model, options, out); break;
    }
    out.flush();
}

void write_file(const FileStorage& model, const Options& options, const std::string& path)
{
    write_text_file(path, [&model, &options](const Sink& sink) { write(model, options, sink); });
}

void write_text_file(const std::string& path, const std::function<void(const Sink&)>& produce)
{
    try {
        lib::io::FileReplacement replacement(path);
        lib::io::OSFile file;
        file.open(replacement.temporary_path(), lib::io::open_write, false);
        OverlappedWriter writer(file);
        produce([&writer](std::string_view piece) { writer.write(piece); });
        writer.finish();
        file.close();
        replacement.commit();
    }
    catch (const lib::io::FileError& e) {
        // The temporary file's name means nothing to the user: name the file asked for.
        throw lib::io::FileError(e.what(), path, e.error_code());
    }
}

} // namespace data_export
