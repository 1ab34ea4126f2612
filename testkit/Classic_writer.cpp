#include "testkit/Classic_writer.h"

#include <algorithm>
#include <cassert>

namespace testkit {

Bytes classic_param_entry(const FileStorageParam& param, const ClassicListLayout& layout)
{
    ByteWriter out;
    out.put_string(param.text1, lib::enc_1251)
        .put_string(param.text2, lib::enc_1251)
        .put_string(param.text3, lib::enc_1251)
        .put_string(param.name, lib::enc_1251)
        .put_bytes(layout.gap)
        .put_i32(param.int_attr)
        .put_f32(param.float_attr)
        .put_bytes(layout.tail);
    return out.take();
}

Bytes classic_param_list(const std::vector<FileStorageParam>& params, const ClassicListLayout& layout)
{
    ByteWriter out;
    for (const FileStorageParam& param : params)
        out.put_bytes(classic_param_entry(param, layout));
    if (layout.terminator) out.put_bytes(classic_param_entry(FileStorageParam{}, layout));
    return out.take();
}

Bytes classic_record(const ClassicRecord& record)
{
    ByteWriter out;
    out.put_u8(record.operation).put_u32(record.time).put_f32(record.depth_z).put_f32(record.depth_cur);
    for (float value : record.values)
        out.put_f32(value);
    out.put_bytes(record.filler);
    assert(out.size() == classic::record_size);
    return out.take();
}

Bytes classic_file(const std::vector<ClassicRecord>& records)
{
    ByteWriter out;
    for (const ClassicRecord& record : records)
        out.put_bytes(classic_record(record));
    return out.take();
}

ClassicRecord classic_record_from(const FileStorageItem& item)
{
    ClassicRecord record;
    record.operation = item.operation;
    record.time = item.time;
    record.depth_z = item.depth_z;
    record.depth_cur = item.depth_cur;
    const std::size_t count = std::min(item.values.size(), classic::value_count);
    std::copy_n(item.values.begin(), count, record.values.begin());
    return record;
}

} // namespace testkit
