// The merge index on disk: a signature, then per entry the well file's path, stamp and
// summary, every number little-endian and every string with its 32-bit length, and last
// the checksum of all before it.

#include "storage/Merge_index.h"

#include "lib/io/Field_record.h"
#include "lib/io/File_replacement.h"
#include "platform/File.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace storage {

namespace {

constexpr std::string_view signature = "DRVXMIX3";

FileStamp stamp_from(const platform::FileIdentity& identity)
{
    FileStamp stamp;
    stamp.device = identity.device;
    stamp.inode = identity.inode;
    stamp.size = identity.size;
    stamp.modified_ns = identity.modified_ns;
    stamp.changed_ns = identity.changed_ns;
    return stamp;
}

using Writer = lib::io::FieldWriter;
using Reader = lib::io::FieldReader;
using Damaged = lib::io::DamagedFields;

void put_summary(Writer& w, const std::string& path, const WellFileSummary& s)
{
    w.put(path);
    w.put(s.stamp.device);
    w.put(s.stamp.inode);
    w.put(s.stamp.size);
    w.put(s.stamp.modified_ns);
    w.put(s.stamp.changed_ns);
    w.put(s.whole_length);
    w.put(s.end_check);
    w.put(s.largest_time);
    w.put(s.newest_depth);
    w.put(s.version);
    w.put(s.encoding);
    w.put(static_cast<std::uint32_t>(s.params.size()));
    for (const FileStorageParam& p : s.params) {
        for (const std::string* text : {&p.name, &p.text1, &p.text2, &p.text3, &p.text5, &p.text6})
            w.put(*text);
        w.put(p.int_attr);
        w.put(p.float_attr);
    }
    w.put(static_cast<std::uint32_t>(s.layout.size()));
    for (const std::int32_t index : s.layout)
        w.put(index);
    w.put(static_cast<std::uint32_t>(s.text_lines.size()));
    for (const std::string& line : s.text_lines)
        w.put(line);
    w.put(static_cast<std::uint32_t>(s.remarks.size()));
    for (const SimpleRemark& r : s.remarks) {
        w.put(r.value1);
        w.put(r.value2);
        w.put(r.value3);
        w.put(r.text);
    }
}

std::pair<std::string, WellFileSummary> get_summary(Reader& r)
{
    std::string path = r.text();
    WellFileSummary s;
    s.stamp.device = r.get<std::uint64_t>();
    s.stamp.inode = r.get<std::uint64_t>();
    s.stamp.size = r.get<std::uint64_t>();
    s.stamp.modified_ns = r.get<std::int64_t>();
    s.stamp.changed_ns = r.get<std::int64_t>();
    s.whole_length = r.get<std::uint64_t>();
    s.end_check = r.get<std::uint64_t>();
    s.largest_time = r.get<std::uint32_t>();
    s.newest_depth = r.get<float>();
    s.version = r.get<std::int32_t>();
    s.encoding = r.get<std::int32_t>();
    s.params.resize(r.count(6 * 4 + 8));
    if (s.params.size() > static_cast<std::size_t>(FileStorage::max_params))
        throw Damaged();
    for (FileStorageParam& p : s.params) {
        for (std::string* text : {&p.name, &p.text1, &p.text2, &p.text3, &p.text5, &p.text6})
            *text = r.text();
        p.int_attr = r.get<std::int32_t>();
        p.float_attr = r.get<float>();
    }
    s.layout.resize(r.count(4));
    if (s.layout.size() > static_cast<std::size_t>(FileStorage::max_params))
        throw Damaged();
    for (std::int32_t& index : s.layout) {
        index = r.get<std::int32_t>();
        if (index < -1 || index >= static_cast<std::int32_t>(s.params.size()))
            throw Damaged();
    }
    s.text_lines.resize(r.count(4));
    for (std::string& line : s.text_lines)
        line = r.text();
    s.remarks.resize(r.count(16));
    for (SimpleRemark& remark : s.remarks) {
        remark.value1 = r.get<std::uint32_t>();
        remark.value2 = r.get<std::uint32_t>();
        remark.value3 = r.get<std::uint32_t>();
        remark.text = r.text();
    }
    return {std::move(path), std::move(s)};
}

} // namespace

std::optional<FileStamp> stamp_of(int fd)
{
    platform::FileIdentity identity;
    if (!platform::read_identity(fd, identity))
        return std::nullopt;
    return stamp_from(identity);
}

std::optional<FileStamp> stamp_of(const std::string& path)
{
    platform::FileIdentity identity;
    if (!platform::read_path_identity(path, identity))
        return std::nullopt;
    return stamp_from(identity);
}

std::optional<std::uint64_t> end_check_of(int fd, std::uint64_t whole_length)
{
    const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(whole_length, end_check_bytes));
    char bytes[end_check_bytes];
    if (platform::read_at(fd, bytes, size, whole_length - size) != static_cast<std::int64_t>(size))
        return std::nullopt;
    return end_check(std::string_view(bytes, size), whole_length);
}

std::uint64_t end_check(std::string_view last_bytes, std::uint64_t whole_length)
{
    return lib::io::field_checksum(last_bytes) ^ whole_length;
}

bool entry_matches(const WellFileSummary& entry, int fd, const FileStamp& now)
{
    return entry.stamp == now && entry.whole_length <= now.size && end_check_of(fd, entry.whole_length) == entry.end_check;
}

MergeIndex::MergeIndex(std::string path) : path_(std::move(path))
{
    std::string bytes;
    try {
        bytes = lib::io::read_whole_file(path_);
    }
    catch (const std::exception&) {
        return; // none yet, or unreadable: every well file is read whole once
    }
    try {
        if (bytes.size() < signature.size() + sizeof(std::uint64_t))
            throw Damaged();
        const std::string_view fields(bytes.data(), bytes.size() - sizeof(std::uint64_t));
        if (Reader(std::string_view(bytes).substr(fields.size())).get<std::uint64_t>() != lib::io::field_checksum(fields))
            throw Damaged();
        Reader r(fields);
        if (std::string_view(r.take(signature.size()), signature.size()) != signature)
            throw Damaged();
        while (!r.at_end())
            entries_.insert(get_summary(r));
    }
    catch (const Damaged&) {
        entries_.clear();
    }
}

const WellFileSummary* MergeIndex::find(const std::string& well_file) const
{
    const auto it = entries_.find(well_file);
    return it == entries_.end() ? nullptr : &it->second;
}

void MergeIndex::put(const std::string& well_file, WellFileSummary summary)
{
    entries_[well_file] = std::move(summary);
}

// The index is only a shortcut: a lost write costs one read of each file it named, and a
// torn one fails the checksum, so it is written in place, without a flush.
void MergeIndex::save() const
{
    if (path_.empty())
        return;
    Writer w;
    w.out += signature;
    for (const auto& [path, summary] : entries_)
        put_summary(w, path, summary);
    w.put(lib::io::field_checksum(w.out));
    lib::io::overwrite_in_place(path_, w.out);
}

} // namespace storage
