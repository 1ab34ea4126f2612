#include "testkit/Zreg_writer.h"

#include "testkit/Realtime_writer.h"

#include <stdexcept>

#include <zlib.h>

namespace testkit {

namespace {

// The text in the encoding, refusing what would come back as something else ('?').
Bytes encoded(std::string_view text, lib::StrEncoding encoding)
{
    if (encoding != lib::enc_1251 && encoding != lib::enc_utf8)
        throw std::invalid_argument("encoding " + std::to_string(encoding) + " is neither 1251 nor UTF-8");
    lib::StrEncConverter converter(encoding);
    lib::ByteBuffer buffer;
    converter.encode(text, buffer);
    const std::string_view bytes(buffer.data(), buffer.size() - 1); // without the zero byte
    if (converter.decode(bytes) != text)
        throw std::invalid_argument("\"" + std::string(text) + "\" cannot be written in encoding " + std::to_string(encoding));
    return Bytes(bytes.begin(), bytes.end());
}

Bytes zlib_stream(const Bytes& content)
{
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    Bytes packed(size);
    if (compress(packed.data(), &size, content.data(), static_cast<uLong>(content.size())) != Z_OK)
        throw std::runtime_error("zreg_package: compress failed");
    packed.resize(size);
    return packed;
}

Bytes ini(std::string_view section, std::string_view well_key, std::string_view well, std::string_view area_key,
          std::string_view area, lib::StrEncoding encoding)
{
    std::string text;
    if (encoding == lib::enc_utf8)
        text += "[__special__]\r\nencoding=utf8\r\n";
    text += '[';
    text += section;
    text += "]\r\n";
    text += std::string(well_key) + "=" + std::string(well) + "\r\n";
    text += std::string(area_key) + "=" + std::string(area) + "\r\n";
    return encoded(text, encoding);
}

} // namespace

Bytes zreg_package(std::uint16_t divisor, const std::vector<ZregMember>& members)
{
    ByteWriter out;
    out.put_u8(static_cast<std::uint8_t>(divisor)).put_u8(static_cast<std::uint8_t>(divisor >> 8));
    for (const ZregMember& member : members) {
        const Bytes name = member.name_bytes ? *member.name_bytes : encoded(member.name, lib::enc_1251);
        if (name.size() > 255)
            throw std::invalid_argument("member name of " + std::to_string(name.size()) + " bytes");
        const Bytes packed = zlib_stream(member.content);
        out.put_u8(member.kind).put_u8(static_cast<std::uint8_t>(name.size())).put_bytes(name);
        out.put_u32(member.packed_len.value_or(static_cast<std::uint32_t>(packed.size())));
        out.put_i32(member.unpacked_len.value_or(static_cast<std::int32_t>(member.content.size())));
        out.put_bytes(packed);
    }
    return out.take();
}

Bytes compact_classic(const std::array<float, zreg::parameter_count>& offsets,
                      const std::array<float, zreg::parameter_count>& scales,
                      const std::vector<CompactRecord>& records)
{
    ByteWriter head;
    for (float offset : offsets)
        head.put_f32(offset);
    for (float scale : scales)
        head.put_f32(scale);
    Bytes bytes = head.take();

    const std::size_t n = records.size();
    bytes.resize(zreg::compact_head_size + zreg::compact_record_size * n);
    for (std::size_t i = 0; i < n; ++i) {
        const CompactRecord& r = records[i];
        ByteWriter record;
        record.put_u8(r.operation).put_u32(r.time).put_f32(r.depth_z).put_f32(r.depth_cur);
        for (std::uint16_t q : r.q)
            record.put_u8(static_cast<std::uint8_t>(q)).put_u8(static_cast<std::uint8_t>(q >> 8));
        record.put_bytes(r.filler);
        // Byte j of record i goes to column j.
        for (std::size_t j = 0; j < zreg::compact_record_size; ++j)
            bytes[zreg::compact_head_size + j * n + i] = record.bytes()[j];
    }
    return bytes;
}

Bytes inpgti_ini(std::string_view well, std::string_view area, lib::StrEncoding encoding)
{
    return ini("скважина", "номер", well, "площадь", area, encoding);
}

Bytes inpgti_ini_pore(std::string_view well, std::string_view area, lib::StrEncoding encoding)
{
    return ini("pore", "hole", well, "field", area, encoding);
}

Bytes one_record_package(std::string_view well)
{
    FileStorageParam depth;
    depth.name = "Глубина";
    FileStorageItem item;
    item.time = 100;
    item.values = {1.0f};
    std::vector<ZregMember> members(2);
    members[0].name = "inpgti.ini";
    members[0].content = inpgti_ini(well, "Северная", lib::enc_1251);
    members[1].name = "1.realtim";
    members[1].content = realtime_file({depth}, {item}, {}, 2);
    return zreg_package(1, members);
}

} // namespace testkit
