// The classic form: fixed 145-byte records with 32 values, parameters in "inpgti.nbl".

#include "storage/Byte_cursor.h"
#include "storage/Realtimedatareader.h"

#include "lib/Sys_utils.h"

namespace {

// One entry of the parameter list: four strings, then fixed fields.
constexpr std::size_t list_gap_before_int = 12;
constexpr std::size_t list_gap_after_float = 5;

// One record of a data file.
constexpr std::size_t record_size = 145;
constexpr std::size_t operation_offset = 0;
constexpr std::size_t time_offset = 1;
constexpr std::size_t depth_z_offset = 5;
constexpr std::size_t depth_cur_offset = 9;
constexpr std::size_t values_offset = 13;
constexpr std::size_t value_count = 32;

// A classic model always shows 32 parameters, however long its list was.
constexpr int classic_param_count = 32;

void read_param_list(FileStorage& model, const std::string& path)
{
    lib::io::InputMappedFile list;
    list.open(path, true);
    storage::ByteCursor in(list.view(), static_cast<std::size_t>(list.size()));
    lib::StrEncConverter cp1251(lib::enc_1251);
    // The list simply ends at a damaged entry or the 513th parameter.
    try {
        while (!in.at_end()) {
            FileStorageParam param;
            param.text1 = cp1251.decode(in.read_cstring());
            param.text2 = cp1251.decode(in.read_cstring());
            param.text3 = cp1251.decode(in.read_cstring());
            param.name = cp1251.decode(in.read_cstring());
            in.skip(list_gap_before_int);
            param.int_attr = in.read<std::int32_t>();
            param.float_attr = in.read<float>();
            in.skip(list_gap_after_float);
            if (param.name.empty())
                break;
            model.add_parameter(param);
        }
    }
    catch (const std::exception&) {
    }
}

FileStorageItem record_from(const char* record)
{
    FileStorageItem item;
    item.operation = storage::field<std::uint8_t>(record, operation_offset);
    item.time = storage::field<std::uint32_t>(record, time_offset);
    item.depth_z = storage::field<float>(record, depth_z_offset);
    item.lag_depth = item.depth_z;
    item.depth_cur = storage::field<float>(record, depth_cur_offset);
    item.values.resize(value_count);
    std::memcpy(item.values.data(), record + values_offset, value_count * sizeof(float));
    return item;
}

void read_records(FileStorage& model, storage::ByteCursor& in)
{
    int accepted = 0;
    while (!in.at_end()) {
        const char* record = in.take(record_size);
        const auto time = storage::field<std::uint32_t>(record, time_offset);
        if (time == 0 || time < model.time_from || time > model.time_to)
            continue;
        if (storage::field<float>(record, depth_cur_offset) < 0 || storage::field<float>(record, depth_z_offset) < 0)
            throw FileStorageException(std::string(storage_text::bad_depth) + std::to_string(accepted), true);
        model.add_record(record_from(record));
        ++accepted;
    }
}

} // namespace

bool load_classic(FileStorage& model, const std::string& path)
{
    model.file_name = path;
    read_param_list(model, lib::folder_of(path) + std::string(storage_text::classic_param_list));
    model.param_count = classic_param_count;

    const storage::InputBytes file(path, true);
    storage::ByteCursor in = file.cursor();
    // A bad record ends the reading with a warning; what was read before it stays.
    try {
        read_records(model, in);
    }
    catch (const std::exception& error) {
        model.warnings.emplace_back(error.what());
    }
    catch (...) {
        model.warnings.emplace_back(storage_text::unknown_error);
    }
    return !model.records.empty();
}
