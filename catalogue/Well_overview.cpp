#include "catalogue/Well_overview.h"

#include "lib/Mytime.h"
#include "lib/Sys_utils.h"
#include "lib/io/Field_record.h"
#include "lib/io/File_replacement.h"
#include "platform/File.h"
#include "storage/Classic_layout.h"
#include "storage/Merge_index.h"
#include "storage/Realtime_layout.h"
#include "storage/Realtimedatareader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <stdexcept>
#include <tuple>

namespace catalogue {

namespace {

// ---- the two small files of the home -------------------------------------------------

constexpr std::string_view notes_signature = "DRVXOVW1";
constexpr std::string_view arrivals_signature = "DRVXARR1";

using Writer = lib::io::FieldWriter;
using Reader = lib::io::FieldReader;
using Damaged = lib::io::DamagedFields;

// Reads a file of signed entries; a missing or damaged file is empty.
template <class Entry, class GetEntry>
std::map<std::string, Entry> read_entries(const std::string& path, std::string_view signature, GetEntry get_entry)
{
    std::map<std::string, Entry> entries;
    if (path.empty())
        return entries;
    std::string bytes;
    try {
        bytes = lib::io::read_whole_file(path);
    }
    catch (const std::exception&) {
        return entries;
    }
    try {
        Reader r(bytes);
        if (std::string_view(r.take(signature.size()), signature.size()) != signature)
            throw Damaged();
        while (!r.at_end()) {
            std::string key = r.text();
            entries[std::move(key)] = get_entry(r);
        }
    }
    catch (const Damaged&) {
        entries.clear();
    }
    return entries;
}

// What a well file told: its newest record and the bottom depth there.
struct Facts {
    std::uint32_t newest = 0;
    float depth = NAN;

    // A record at `time` with bottom depth `depth` (NaN: a record without depths).
    void take(std::uint32_t time, float record_depth)
    {
        if (time == 0 || time < newest)
            return;
        newest = time;
        if (!std::isnan(record_depth))
            depth = record_depth;
    }
};

// What the overview keeps of a well file between calls.
struct Note {
    storage::FileStamp stamp;
    std::uint64_t scanned = 0; // real-time: the end of the whole sectors read
    std::array<char, 8> tail{}; // the bytes before `scanned`, to see that the file only grew
    Facts facts;
};

Note get_note(Reader& r)
{
    Note n;
    n.stamp.device = r.get<std::uint64_t>();
    n.stamp.inode = r.get<std::uint64_t>();
    n.stamp.size = r.get<std::uint64_t>();
    n.stamp.modified_ns = r.get<std::int64_t>();
    n.stamp.changed_ns = r.get<std::int64_t>();
    n.scanned = r.get<std::uint64_t>();
    std::memcpy(n.tail.data(), r.take(n.tail.size()), n.tail.size());
    n.facts.newest = r.get<std::uint32_t>();
    n.facts.depth = r.get<float>();
    return n;
}

void put_note(Writer& w, const std::string& path, const Note& n)
{
    w.put(path);
    w.put(n.stamp.device);
    w.put(n.stamp.inode);
    w.put(n.stamp.size);
    w.put(n.stamp.modified_ns);
    w.put(n.stamp.changed_ns);
    w.put(n.scanned);
    w.out.append(n.tail.data(), n.tail.size());
    w.put(n.facts.newest);
    w.put(n.facts.depth);
}

struct Arrival {
    std::uint32_t count = 0;
    std::uint32_t last = 0;
};

Arrival get_arrival(Reader& r)
{
    Arrival a;
    a.count = r.get<std::uint32_t>();
    a.last = r.get<std::uint32_t>();
    return a;
}

// ---- reading a well file as little as possible -----------------------------------------

constexpr std::size_t classic_record_size = classic_layout::record_size;
constexpr std::size_t classic_time_offset = classic_layout::record_time;
constexpr std::size_t classic_depth_offset = classic_layout::record_depth_z;
constexpr std::size_t sector_header_size = realtime_layout::header_size;
constexpr std::uint8_t sector_record = realtime_layout::sector_record;
constexpr std::uint8_t sector_text = realtime_layout::sector_text_area;
constexpr std::uint8_t sector_values_only = realtime_layout::sector_values_only;
constexpr std::size_t old_record_head = realtime_layout::old_record_head;
constexpr std::size_t new_record_head = realtime_layout::new_record_head;

bool is_classic(const std::string& extension)
{
    return extension == ".tim" || extension == ".dep" || extension == ".ldp";
}

template <class T>
T field(const char* bytes)
{
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Reads at offsets through a buffer; reads past the end come back short, never fault, so a
// file cut by another process while it is read is no danger. A pointer it returns holds
// until the next call.
class FileWindow {
public:
    FileWindow(int fd, std::uint64_t size, std::size_t chunk) : fd_(fd), size_(size), chunk_(chunk) {}

    // The `n` bytes at `offset`, or nullptr when the file holds fewer. A forward walk reads
    // ahead of `offset`, a backward one (`backward`) the chunk that ends with the bytes asked.
    const char* at(std::uint64_t offset, std::size_t n, bool backward = false)
    {
        if (offset < start_ || offset + n > start_ + buffer_.size()) {
            std::uint64_t start = offset;
            std::uint64_t length = std::max<std::uint64_t>(n, chunk_);
            if (backward) {
                start = offset + n > length ? offset + n - length : 0;
                length = offset + n - start;
            }
            else if (size_ > offset) {
                length = std::max<std::uint64_t>(n, std::min<std::uint64_t>(length, size_ - offset));
            }
            buffer_.resize(static_cast<std::size_t>(length));
            start_ = start;
            buffer_.resize(read_at(start, buffer_.data(), buffer_.size()));
            if (offset + n > start_ + buffer_.size())
                return nullptr;
        }
        return buffer_.data() + (offset - start_);
    }

private:
    std::size_t read_at(std::uint64_t offset, char* out, std::size_t n)
    {
        if (platform::seek(fd_, static_cast<std::int64_t>(offset), platform::SeekFrom::begin) < 0)
            return 0;
        std::size_t got = 0;
        while (got < n) {
            const std::int64_t r = platform::read_some(fd_, out + got, n - got);
            if (r <= 0)
                break;
            got += static_cast<std::size_t>(r);
        }
        return got;
    }

    int fd_;
    std::uint64_t size_;
    std::size_t chunk_;
    std::uint64_t start_ = 0;
    std::string buffer_;
};

// The last non-empty 145-byte record of a classic file: records are appended in time order.
std::optional<Facts> classic_facts(FileWindow& file, std::uint64_t size)
{
    Facts facts;
    for (std::uint64_t end = size - size % classic_record_size; end >= classic_record_size; end -= classic_record_size) {
        const char* record = file.at(end - classic_record_size, classic_record_size, true);
        if (record == nullptr)
            return std::nullopt;
        const auto time = field<std::uint32_t>(record + classic_time_offset);
        if (time != 0) {
            facts.take(time, field<float>(record + classic_depth_offset));
            return facts;
        }
    }
    return facts; // no record at all
}

enum class ScanEnd { whole, damaged };

// Walks the sectors from `from` to `size`, taking each record's time and bottom depth (at
// the same offsets in both variants). Stops before a sector cut by the end of the file;
// reports an implausible header as damage, for the full reader to go around.
ScanEnd scan_sectors(FileWindow& file, std::uint64_t from, std::uint64_t size, Note& note)
{
    std::uint64_t pos = from;
    while (pos + sector_header_size <= size) {
        const char* header = file.at(pos, sector_header_size);
        if (header == nullptr)
            break;
        const auto type = static_cast<std::uint8_t>(header[0]);
        const auto body = field<std::int16_t>(header + 1);
        if (type == 0 || type >= 100 || body <= 0)
            return ScanEnd::damaged;
        const std::uint64_t next = pos + sector_header_size + static_cast<std::uint64_t>(body);
        if (next > size)
            break; // a cut last sector: whole ones only
        if (type == sector_record || type == sector_values_only) {
            if (body < (type == sector_record ? 8 : 4))
                return ScanEnd::damaged;
            const char* head = file.at(pos + sector_header_size, type == sector_record ? 8 : 4);
            if (head == nullptr)
                break;
            note.facts.take(field<std::uint32_t>(head), type == sector_record ? field<float>(head + 4) : NAN);
        }
        pos = next;
    }
    note.scanned = pos;
    return ScanEnd::whole;
}

// The bytes before `scanned`, to recognise the same beginning later.
void remember_tail(FileWindow& file, Note& note)
{
    note.tail.fill('\0');
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(note.scanned, note.tail.size()));
    if (const char* bytes = file.at(note.scanned - n, n, true); bytes != nullptr && n > 0)
        std::memcpy(note.tail.data() + (note.tail.size() - n), bytes, n);
}

bool same_beginning(FileWindow& file, const Note& note)
{
    Note probe = note;
    remember_tail(file, probe);
    return probe.tail == note.tail;
}

// The well's last record from the merge index's layout: a record sector ending at the end
// of the whole sectors, or just before a closing text sector. Believed only when its time is
// the index's largest.
std::optional<float> indexed_last_depth(FileWindow& file, const storage::WellFileSummary& summary)
{
    const std::uint64_t end = summary.whole_length;
    const std::uint64_t body = (summary.version != 0 ? new_record_head : old_record_head) + 4 * summary.layout.size();
    auto record_ending_at = [&](std::uint64_t at) -> std::optional<float> {
        if (at < sector_header_size + body)
            return std::nullopt;
        const char* sector = file.at(at - sector_header_size - body, sector_header_size + 8, true);
        if (sector == nullptr || static_cast<std::uint8_t>(sector[0]) != sector_record ||
            static_cast<std::uint64_t>(field<std::int16_t>(sector + 1)) != body ||
            field<std::uint32_t>(sector + 3) != summary.largest_time)
            return std::nullopt;
        return field<float>(sector + 7);
    };
    if (auto depth = record_ending_at(end))
        return depth;
    const std::uint64_t reach = std::min<std::uint64_t>(end, realtime_layout::max_body_size + sector_header_size);
    const char* tail_bytes = file.at(end - reach, static_cast<std::size_t>(reach), true);
    if (tail_bytes == nullptr || reach == 0 || tail_bytes[reach - 1] != '\0')
        return std::nullopt;
    const std::string tail(tail_bytes, static_cast<std::size_t>(reach)); // the window moves below
    for (std::uint64_t size = 1; size + sector_header_size <= reach; ++size) {
        const char* header = tail.data() + (reach - size - sector_header_size);
        if (static_cast<std::uint8_t>(header[0]) == sector_text && field<std::int16_t>(header + 1) == static_cast<std::int64_t>(size)) {
            if (auto depth = record_ending_at(end - size - sector_header_size))
                return depth;
        }
    }
    return std::nullopt;
}

// The reader of the program, for a file the light walk cannot go through.
std::optional<Facts> read_whole(const std::string& path)
{
    try {
        FileStorage model;
        model.load(path);
        Facts facts;
        for (const auto& record : model.records)
            facts.take(record->time, record->stamped ? record->depth_z : NAN);
        return facts;
    }
    catch (const std::exception&) {
        return std::nullopt;
    }
}

class Notebook {
public:
    explicit Notebook(const std::string& home) : home_(home)
    {
        if (!home_.empty())
            notes_ = read_entries<Note>(home_ + overview_files::notes, notes_signature, get_note);
    }

    // Also gives the file's modification time (ns since 1970, UTC) to `modified_ns`.
    std::optional<Facts> facts_of(const std::string& path, std::int64_t& modified_ns)
    {
        const std::optional<storage::FileStamp> stamp = storage::stamp_of(path);
        if (!stamp)
            return std::nullopt;
        modified_ns = stamp->modified_ns;
        const auto it = notes_.find(path);
        if (it != notes_.end() && it->second.stamp == *stamp)
            return it->second.facts;
        std::optional<Note> note = read_note(path, *stamp, it == notes_.end() ? nullptr : &it->second);
        if (!note) {
            if (it != notes_.end())
                notes_.erase(it);
            changed_ = true;
            return std::nullopt;
        }
        note->stamp = *stamp;
        changed_ = true;
        return (notes_[path] = *note).facts;
    }

    // Notes of files of this store that are gone are dropped, so the file does not grow
    // without end; those of another store (status --to elsewhere) stay.
    void save(const std::string& data_root, const std::map<std::string, bool>& seen)
    {
        for (auto it = notes_.begin(); it != notes_.end();) {
            if (it->first.rfind(data_root, 0) == 0 && !seen.count(it->first)) {
                it = notes_.erase(it);
                changed_ = true;
            }
            else
                ++it;
        }
        if (home_.empty() || !changed_)
            return;
        Writer w;
        w.out += notes_signature;
        for (const auto& [path, note] : notes_)
            put_note(w, path, note);
        try {
            lib::io::replace_file_contents(home_ + overview_files::notes, w.out, lib::io::Durability::scratch);
        }
        catch (const std::exception&) {
            // Only a shortcut: the next call reads a little more.
        }
    }

private:
    std::optional<Note> read_note(const std::string& path, const storage::FileStamp& stamp, const Note* old)
    {
        platform::OpenResult opened = platform::open_regular_file(path, platform::OpenAccess::read);
        if (!opened.fd.valid())
            return std::nullopt;
        // Small reads near the end for classic files and known ones; a walk reads ahead.
        FileWindow file(opened.fd.get(), stamp.size, 64 * 1024);
        Note note;
        if (is_classic(lib::extension_of(path))) {
            const std::optional<Facts> facts = classic_facts(file, stamp.size);
            if (!facts)
                return std::nullopt;
            note.facts = *facts;
            return note;
        }
        // Grown by appends since the last call: only the new sectors are read.
        if (old != nullptr && old->stamp.device == stamp.device && old->stamp.inode == stamp.inode &&
            old->scanned <= stamp.size && same_beginning(file, *old)) {
            note = *old;
            if (scan_sectors(file, old->scanned, stamp.size, note) == ScanEnd::whole) {
                remember_tail(file, note);
                return note;
            }
            return whole_read(path);
        }
        if (const storage::WellFileSummary* summary = merge_index().find(path);
            summary != nullptr && summary->stamp == stamp) {
            if (const std::optional<float> depth = indexed_last_depth(file, *summary)) {
                note.facts.take(summary->largest_time, *depth);
                note.scanned = summary->whole_length;
                remember_tail(file, note);
                return note;
            }
        }
        if (scan_sectors(file, 0, stamp.size, note) == ScanEnd::whole) {
            remember_tail(file, note);
            return note;
        }
        return whole_read(path);
    }

    // A damaged file: the reader goes around the damage; it is read again only when it changes.
    std::optional<Note> whole_read(const std::string& path)
    {
        const std::optional<Facts> facts = read_whole(path);
        if (!facts)
            return std::nullopt;
        Note note;
        note.facts = *facts;
        note.scanned = 0;
        note.tail.fill('\x7f'); // never the tail of a real prefix: a change means a full read
        return note;
    }

    // Read only when a file is unknown to the notes: a large store's index is several MB.
    const storage::MergeIndex& merge_index()
    {
        if (!index_)
            index_ = home_.empty() ? std::make_unique<storage::MergeIndex>()
                                   : std::make_unique<storage::MergeIndex>(home_ + storage::MergeIndex::file_name);
        return *index_;
    }

    std::string home_;
    std::map<std::string, Note> notes_;
    std::unique_ptr<storage::MergeIndex> index_;
    bool changed_ = false;
};

// ---- the store -----------------------------------------------------------------------

enum class DataKind { none, time, depth };

DataKind data_kind(const std::string& name)
{
    const std::string extension = lib::extension_of(name);
    if (extension == ".tim" || extension == ".realtim")
        return DataKind::time;
    if (extension == ".dep" || extension == ".realdep" || extension == ".ldp" || extension == ".reallag")
        return DataKind::depth;
    return DataKind::none;
}

std::vector<std::string> child_folders(const std::string& folder)
{
    std::vector<std::string> names;
    for (const platform::NamedEntry& entry : platform::list_names(folder))
        if (entry.folder && !entry.link && entry.name.front() != '.')
            names.push_back(entry.name);
    return names;
}

// A file time (ns since 1970, UTC) on the local clock, as record times and arrivals count.
std::uint32_t local_seconds_of(std::int64_t utc_ns, std::int64_t local_offset)
{
    if (utc_ns <= 0)
        return 0;
    const std::int64_t local = utc_ns / 1000000000LL + local_offset;
    return local <= 0 ? 0 : static_cast<std::uint32_t>(local);
}

WellOverviewRow well_row(const std::string& area, const std::string& well, const std::string& folder, Notebook& notes,
                         std::map<std::string, bool>& seen, std::int64_t local_offset)
{
    WellOverviewRow row;
    row.area = area;
    row.well = well;
    row.folder = folder;
    Facts newest;
    std::int64_t newest_write = 0;
    for (const platform::NamedEntry& entry : platform::list_names(folder)) {
        if (entry.folder || entry.name.front() == '.')
            continue;
        const DataKind kind = data_kind(entry.name);
        if (kind == DataKind::none)
            continue;
        const std::string path = folder + entry.name;
        seen[path] = true;
        std::int64_t modified_ns = 0;
        const std::optional<Facts> facts = notes.facts_of(path, modified_ns);
        if (!facts) {
            row.unreadable.push_back(entry.name);
            continue;
        }
        std::uint32_t& slot = kind == DataKind::time ? row.newest_time_file : row.newest_depth_file;
        slot = std::max(slot, facts->newest);
        newest.take(facts->newest, facts->depth);
        newest_write = std::max(newest_write, modified_ns);
    }
    if (!std::isnan(newest.depth))
        row.depth = newest.depth;
    row.last_arrival = local_seconds_of(newest_write, local_offset);
    std::sort(row.unreadable.begin(), row.unreadable.end());
    return row;
}

} // namespace

std::vector<WellOverviewRow> build_overview(const OverviewRequest& request)
{
    const std::uint32_t now = request.now != 0 ? request.now : lib::now_seconds();
    const std::int64_t limit = static_cast<std::int64_t>(request.older_than_hours) * 3600;
    Notebook notes(request.state_folder);
    const std::map<std::string, Arrival> arrivals =
        read_entries<Arrival>(request.state_folder.empty() ? "" : request.state_folder + overview_files::arrivals,
                              arrivals_signature, get_arrival);
    std::map<std::string, bool> seen;
    // lib::now_seconds is the local clock, file times are UTC.
    const std::int64_t local_offset = static_cast<std::int64_t>(lib::now_seconds()) - static_cast<std::int64_t>(std::time(nullptr));
    std::vector<WellOverviewRow> rows;
    for (const std::string& area : child_folders(request.data_root)) {
        const std::string area_folder = request.data_root + area + '/';
        for (const std::string& well : child_folders(area_folder)) {
            WellOverviewRow row = well_row(area, well, area_folder + well + '/', notes, seen, local_offset);
            if (const auto it = arrivals.find(lib::without_slash(row.folder)); it != arrivals.end()) {
                row.packages = it->second.count;
                row.last_arrival = it->second.last;
            }
            if (row.newest() != 0)
                row.age = now > row.newest() ? now - row.newest() : 0;
            row.old = !row.age || static_cast<std::int64_t>(*row.age) > limit;
            rows.push_back(std::move(row));
        }
    }
    notes.save(request.data_root, seen);
    // Oldest first: no record at all, then the oldest newest record.
    std::sort(rows.begin(), rows.end(), [](const WellOverviewRow& a, const WellOverviewRow& b) {
        return std::make_tuple(a.newest() != 0, a.newest(), a.area, a.well) <
               std::make_tuple(b.newest() != 0, b.newest(), b.area, b.well);
    });
    return rows;
}

void record_arrival(const std::string& arrivals_path, const std::string& well_folder, std::uint32_t when)
{
    std::map<std::string, Arrival> arrivals = read_entries<Arrival>(arrivals_path, arrivals_signature, get_arrival);
    Arrival& arrival = arrivals[lib::without_slash(well_folder)];
    ++arrival.count;
    arrival.last = when;
    Writer w;
    w.out += arrivals_signature;
    for (const auto& [folder, entry] : arrivals) {
        w.put(folder);
        w.put(entry.count);
        w.put(entry.last);
    }
    lib::io::replace_file_contents(arrivals_path, w.out, lib::io::Durability::scratch);
}

std::string age_text(const WellOverviewRow& row)
{
    if (!row.age)
        return overview_text::no_data;
    // Tenths of an hour up to two days, tenths of a day beyond: a well silent for years
    // reads as days, not as five-digit hours.
    const bool days = *row.age >= 48 * 3600;
    const std::uint32_t unit = days ? 86400 : 3600;
    const std::uint64_t tenths = (static_cast<std::uint64_t>(*row.age) * 10 + unit / 2) / unit;
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + (days ? " сут" : " ч");
}

std::string depth_text(const WellOverviewRow& row)
{
    if (!row.depth || !std::isfinite(*row.depth))
        return {};
    const long long tenths = std::llround(static_cast<double>(*row.depth) * 10.0);
    const long long whole = std::llabs(tenths);
    return std::string(tenths < 0 ? "-" : "") + std::to_string(whole / 10) + "," + std::to_string(whole % 10);
}

std::string moment_text(std::uint32_t time)
{
    return time == 0 ? std::string() : lib::format_time(time, false);
}

std::string mark_text(const WellOverviewRow& row)
{
    return row.old ? overview_text::silent : "";
}

} // namespace catalogue
