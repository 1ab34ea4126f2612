// The data file model: parameters, records, texts, and the choice of reader by extension.

#include "storage/Realtimedatareader.h"

#include "lib/Fileworks.h"
#include "lib/Strworks.h"
#include "lib/Sys_utils.h"
#include "platform/File.h"
#include "storage/Data_file_kinds.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <cmath>


namespace {

enum class FileForm { realtime, classic, unknown };

FileForm form_of(const std::string& extension)
{
    const data_file_kinds::DataFileKind* kind = data_file_kinds::of_extension(extension);
    if (!kind || !data_file_kinds::holds_records(kind->kind))
        return FileForm::unknown;
    return data_file_kinds::is_classic(kind->kind) ? FileForm::classic : FileForm::realtime;
}

// A values-only record carries no depths.
float newest_depth_of(const FileStorageItem& item)
{
    return item.stamped ? item.depth_z : NAN;
}

} // namespace

bool is_data_file_extension(const std::string& extension)
{
    return form_of(extension) != FileForm::unknown;
}

// --- FileStorageTextValues ---------------------------------------------------------------

std::size_t FileStorageTextValues::find(std::string_view name) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto equals = lines_[i].find('=');
        if (equals != std::string::npos && lib::equals_ignore_case(std::string_view(lines_[i]).substr(0, equals), name))
            return i;
    }
    return lines_.size();
}

std::string FileStorageTextValues::value(std::string_view name) const
{
    const std::size_t index = find(name);
    if (index == lines_.size())
        return {};
    return lines_[index].substr(lines_[index].find('=') + 1);
}

void FileStorageTextValues::set_value(std::string_view name, std::string_view value)
{
    const std::size_t index = find(name);
    if (value.empty()) {
        if (index != lines_.size())
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
        return;
    }
    std::string line = std::string(name) + "=" + std::string(value);
    if (index == lines_.size())
        lines_.push_back(std::move(line));
    else
        lines_[index] = std::move(line);
}

void FileStorageTextValues::set_text(std::string_view text)
{
    lines_.clear();
    for (const std::string_view line : lib::split_lines(text))
        lines_.emplace_back(line);
}

std::string FileStorageTextValues::text() const
{
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

// --- FileStorage -------------------------------------------------------------------------

FileStorage::FileStorage() : params(max_params)
{
    column_map.fill(-1);
    clear();
}

FileStorage::~FileStorage()
{
    clear();
}

void FileStorage::clear()
{
    records.clear();
    passed_over_ = {};
    param_count = 0;
    file_column_count = 0;
    text_values.clear();
    remarks.clear();
}

void FileStorage::set_time_filter(std::uint32_t from, std::uint32_t to)
{
    time_from = from;
    time_to = to;
}

bool FileStorage::load(const std::string& path)
{
    const std::string extension = lib::extension_of(path);
    bool result = false;
    switch (form_of(extension)) {
    case FileForm::realtime:
        result = load_realtime(*this, path);
        realtime_form = 1;
        break;
    case FileForm::classic:
        result = load_classic(*this, path);
        realtime_form = 0;
        break;
    case FileForm::unknown:
        throw FileStorageException(std::string(storage_text::wrong_extension) + extension, true);
    }
    lib::file_times(path, nullptr, &file_time); // stays as it was when the file is gone
    return result;
}

int FileStorage::add_parameter(const FileStorageParam& param)
{
    if (param_count >= max_params)
        throw FileStorageException(std::string(storage_text::too_many_params), false);
    const std::string name = lib::to_lower(param.name);
    for (int i = 0; i < param_count; ++i) {
        FileStorageParam& known = params[static_cast<std::size_t>(i)];
        if (lib::to_lower(known.name) == name) {
            known.text1 = param.text1;
            known.text2 = param.text2;
            known.text3 = param.text3;
            return i;
        }
    }
    params[static_cast<std::size_t>(param_count)] = param;
    return param_count++;
}

void FileStorage::add_record(const FileStorageItem& item)
{
    if (!keep_records_) {
        passed_over_.take(item.time, newest_depth_of(item));
        return;
    }
    records.push_back(boost::make_shared<FileStorageItem>(item));
}

void FileStorage::add_record(FileStorageItem&& item)
{
    if (!keep_records_) {
        passed_over_.take(item.time, newest_depth_of(item));
        return;
    }
    records.push_back(boost::make_shared<FileStorageItem>(std::move(item)));
}

void FileStorage::load_compressed(const std::string& base, int form_version)
{
    ::load_compressed(*this, base, form_version);
}

void FileStorage::load_after_decompressing(lib::io::BinaryInputStream& in)
{
    ::load_after_decompressing(*this, in);
}

void FileStorage::save(const std::string& path)
{
    if (realtime_form == 1)
        save_realtime(path);
}

void FileStorage::save_realtime(const std::string& path, lib::io::Durability durability)
{
    ::save_realtime(*this, path, durability);
}

std::uint32_t FileStorage::largest_time() const
{
    std::uint32_t largest = passed_over_.time;
    for (const auto& record : records)
        largest = std::max(largest, record->time);
    return largest;
}

storage::NewestRecord FileStorage::newest_record() const
{
    storage::NewestRecord newest = passed_over_;
    for (const auto& record : records)
        newest.take(record->time, newest_depth_of(*record));
    return newest;
}

bool locking_disabled_for(const std::string& path)
{
    const std::string marker = lib::folder_of(path) + std::string(storage_text::no_locking_marker);
    return platform::path_kind(marker) != platform::PathKind::missing;
}
