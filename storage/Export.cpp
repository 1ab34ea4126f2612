#include "storage/Export.h"

#include "lib/Mytime.h"
#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"
#include "lib/io/File_replacement.h"
#include "platform/File.h"
#include "storage/Export_buffer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace data_export {

namespace {

constexpr std::uint32_t seconds_per_day = 86400;
constexpr std::size_t writeback_bytes = 8 << 20;

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
    std::string folder = lib::folder_of(path);
    options.well = pop_folder(folder);
    options.area = pop_folder(folder);
    return options;
}

void write(const FileStorage& model, const Options& options, const Sink& sink)
{
    detail::TextBuffer out(sink);
    if (options.format == Format::csv)
        detail::write_csv(model, options, out);
    else
        detail::write_las(model, options, out);
    out.flush();
}

void write_file(const FileStorage& model, const Options& options, const std::string& path)
{
    try {
        lib::io::FileReplacement replacement(path);
        lib::io::OSFile file;
        file.open(replacement.temporary_path(), lib::io::open_write, false);
        // The disk starts on every few megabytes while the next are formatted, so the
        // flush before the rename finds little left to do.
        std::size_t unflushed = 0;
        write(model, options, [&file, &unflushed](std::string_view piece) {
            file.write(piece.data(), piece.size());
            unflushed += piece.size();
            if (unflushed >= writeback_bytes) {
                platform::start_writeback(file.handle());
                unflushed = 0;
            }
        });
        file.close();
        replacement.commit();
    }
    catch (const lib::io::FileError& e) {
        // The temporary file's name means nothing to the user: name the file asked for.
        throw lib::io::FileError(e.what(), path, e.error_code());
    }
}

} // namespace data_export
