// The classic form: fixed 145-byte records with 32 values, parameters in "inpgti.nbl".
// The record itself is storage/Classic_record's; here the files are read.

#include "storage/Byte_cursor.h"
#include "storage/Classic_layout.h"
#include "storage/Classic_record.h"
#include "storage/Realtimedatareader.h"

#include "lib/Sys_utils.h"

namespace {

using namespace classic_layout;

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

void read_records(FileStorage& model, storage::ByteCursor& in)
{
    int accepted = 0;
    while (!in.at_end()) {
        const char* record = in.take(record_size);
        const auto time = storage::field<std::uint32_t>(record, record_time);
        if (time == 0 || time < model.time_from || time > model.time_to)
            continue;
        if (storage::field<float>(record, record_depth_cur) < 0 || storage::field<float>(record, record_depth_z) < 0)
            throw FileStorageException(std::string(storage_text::bad_depth) + std::to_string(accepted), true);
        model.add_record(storage::classic_item(record));
        ++accepted;
    }
}

} // namespace

namespace {

// A bad record ends the reading with a warning; what was read before it stays.
void read_records_warning(FileStorage& model, storage::ByteCursor& in)
{
    try {
        read_records(model, in);
    }
    catch (const std::exception& error) {
        model.warnings.emplace_back(error.what());
    }
    catch (...) {
        model.warnings.emplace_back(storage_text::unknown_error);
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
    read_records_warning(model, in);
    return !model.records.empty();
}

void read_classic_records(FileStorage& model, const char* data, std::size_t size)
{
    model.realtime_form = 0;
    storage::ByteCursor in(data, size);
    read_records_warning(model, in);
}
