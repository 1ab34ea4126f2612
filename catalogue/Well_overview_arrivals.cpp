// The arrivals file of the home: a snapshot of every well's count and last arrival, then one
// small record appended per package. Appending spares the rename of a rewritten file (ext4
// flushes a file that replaces another by rename, and the run waits for it); the snapshot is
// rewritten, by rename, only every `appends_before_snapshot` packages or after a torn append.
//
//   "DRVXARR2", u32 wells, per well (folder, u32 count, u32 last), u64 checksum of all before;
//   per package (folder, u32 when, u64 checksum of the record).
//
// A record cut by a crash, or half written while an overview reads, ends the list: only that
// package's count is missing. Files of the older form (the signature "DRVXARR1", then the
// wells without a checksum) are read as a snapshot and rewritten at the next arrival.

#include "catalogue/Well_overview.h"

#include "lib/Sys_utils.h"
#include "lib/io/Field_record.h"
#include "lib/io/File_replacement.h"

#include <map>
#include <string>

namespace catalogue {

namespace {

constexpr std::string_view older_signature = "DRVXARR1";
constexpr std::string_view signature = "DRVXARR2";
constexpr std::size_t appends_before_snapshot = 1024;

using Reader = lib::io::FieldReader;
using Writer = lib::io::FieldWriter;
using Damaged = lib::io::DamagedFields;

struct ArrivalsFile {
    std::map<std::string, WellArrivals> wells;
    std::size_t appended = 0;  // records after the snapshot
    bool appendable = false;   // of the current form, read whole to its last byte
};

WellArrivals get_wells_entry(Reader& r)
{
    WellArrivals a;
    a.count = r.get<std::uint32_t>();
    a.last = r.get<std::uint32_t>();
    return a;
}

void read_older_form(Reader& r, ArrivalsFile& file)
{
    while (!r.at_end()) {
        std::string folder = r.text();
        file.wells[std::move(folder)] = get_wells_entry(r);
    }
}

void read_snapshot(std::string_view bytes, Reader& r, ArrivalsFile& file)
{
    const std::size_t wells = r.count(sizeof(std::uint32_t) * 3);
    for (std::size_t i = 0; i < wells; ++i) {
        std::string folder = r.text();
        file.wells[std::move(folder)] = get_wells_entry(r);
    }
    const std::size_t covered = r.offset();
    if (r.get<std::uint64_t>() != lib::io::field_checksum(bytes.substr(0, covered)))
        throw Damaged();
}

std::string record_bytes(const std::string& folder, std::uint32_t when)
{
    Writer w;
    w.put(folder);
    w.put(when);
    return w.out;
}

// The records after the snapshot, up to the first that is cut or does not match its checksum.
void read_records(Reader& r, ArrivalsFile& file)
{
    while (!r.at_end()) {
        try {
            const std::string folder = r.text();
            const auto when = r.get<std::uint32_t>();
            if (r.get<std::uint64_t>() != lib::io::field_checksum(record_bytes(folder, when)))
                return;
            WellArrivals& well = file.wells[folder];
            ++well.count;
            well.last = when;
            ++file.appended;
        }
        catch (const Damaged&) {
            return;
        }
    }
    file.appendable = true;
}

ArrivalsFile parse(std::string_view bytes)
{
    ArrivalsFile file;
    try {
        Reader r(bytes);
        const std::string_view head(r.take(signature.size()), signature.size());
        if (head == older_signature) {
            read_older_form(r, file);
            return file;
        }
        if (head != signature)
            throw Damaged();
        read_snapshot(bytes, r, file);
        read_records(r, file);
    }
    catch (const Damaged&) {
        return {};
    }
    return file;
}

std::string read_bytes(const std::string& path)
{
    try {
        return lib::io::read_whole_file(path);
    }
    catch (const std::exception&) {
        return {};
    }
}

std::string snapshot_bytes(const std::map<std::string, WellArrivals>& wells)
{
    Writer w;
    w.out += signature;
    w.put(static_cast<std::uint32_t>(wells.size()));
    for (const auto& [folder, entry] : wells) {
        w.put(folder);
        w.put(entry.count);
        w.put(entry.last);
    }
    w.put(lib::io::field_checksum(w.out));
    return w.out;
}

// The record goes after the file's last byte as read; a run holds the home, so no other
// writer appends meanwhile.
void append_record(const std::string& path, std::uint64_t at, const std::string& folder, std::uint32_t when)
{
    Writer w;
    w.out = record_bytes(folder, when);
    w.put(lib::io::field_checksum(w.out));
    lib::io::write_in_place_at(path, at, w.out);
}

} // namespace

std::map<std::string, WellArrivals> read_arrivals(const std::string& arrivals_path)
{
    if (arrivals_path.empty())
        return {};
    return parse(read_bytes(arrivals_path)).wells;
}

void record_arrival(const std::string& arrivals_path, const std::string& well_folder, std::uint32_t when)
{
    const std::string bytes = read_bytes(arrivals_path);
    ArrivalsFile file = parse(bytes);
    const std::string folder = lib::without_slash(well_folder);
    if (file.appendable && file.appended < appends_before_snapshot) {
        append_record(arrivals_path, bytes.size(), folder, when);
        return;
    }
    WellArrivals& well = file.wells[folder];
    ++well.count;
    well.last = when;
    lib::io::replace_file_contents(arrivals_path, snapshot_bytes(file.wells), lib::io::Durability::scratch);
}

} // namespace catalogue
