#include "catalogue/Well_overview.h"

#include "lib/Mytime.h"
#include "lib/Sys_utils.h"
#include "lib/io/Field_record.h"
#include "lib/io/File_replacement.h"
#include "platform/File.h"
#include "storage/Data_file_kinds.h"
#include "storage/Merge_index.h"
#include "storage/Realtime_end.h"
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

// ---- the notes file of the home ----------------------------------------------------------

constexpr std::string_view notes_signature = "DRVXOVW3";

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

using storage::FileWindow;
using storage::NewestRecord;
using storage::SectorWalk;

// What the overview keeps of a well file between calls: for a real-time file, where the
// walk of its sectors stopped (`walk.end`) and the check of the bytes before it (as the
// merge index keeps it), to see that it only grew. 0 where growing means a whole read.
struct Note {
    storage::FileStamp stamp;
    SectorWalk walk;
    std::uint64_t end_check = 0;
};

Note get_note(Reader& r)
{
    Note n;
    n.stamp.device = r.get<std::uint64_t>();
    n.stamp.inode = r.get<std::uint64_t>();
    n.stamp.size = r.get<std::uint64_t>();
    n.stamp.modified_ns = r.get<std::int64_t>();
    n.stamp.changed_ns = r.get<std::int64_t>();
    n.walk.end = r.get<std::uint64_t>();
    n.end_check = r.get<std::uint64_t>();
    n.walk.newest.time = r.get<std::uint32_t>();
    n.walk.newest.depth = r.get<float>();
    n.walk.version = r.get<std::int32_t>();
    n.walk.columns = r.get<std::int32_t>();
    n.walk.has_params = r.get<std::uint8_t>() != 0;
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
    w.put(n.walk.end);
    w.put(n.end_check);
    w.put(n.walk.newest.time);
    w.put(n.walk.newest.depth);
    w.put(n.walk.version);
    w.put(n.walk.columns);
    w.put(static_cast<std::uint8_t>(n.walk.has_params));
}

// ---- reading a well file as little as possible -----------------------------------------

bool is_classic(const std::string& path)
{
    const data_file_kinds::DataFileKind* kind = data_file_kinds::of_name(path);
    return kind && data_file_kinds::is_classic(kind->kind);
}

// The check of the bytes before the end of the walk, to recognise the same beginning later.
std::uint64_t end_check_at(FileWindow& file, std::uint64_t end)
{
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(end, storage::end_check_bytes));
    const char* bytes = file.at(end - n, n, FileWindow::Ahead::backward);
    return bytes != nullptr && end != 0 ? storage::end_check(std::string_view(bytes, n), end) : 0;
}

bool same_beginning(FileWindow& file, const Note& note)
{
    return note.end_check != 0 && end_check_at(file, note.walk.end) == note.end_check;
}

// The reader of the program, for a file the light walk cannot go through.
std::optional<NewestRecord> read_whole(const std::string& path)
{
    try {
        FileStorage model;
        model.load(path);
        return model.newest_record();
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
    std::optional<NewestRecord> newest_of(const std::string& path, std::int64_t& modified_ns)
    {
        const auto it = notes_.find(path);
        // A noted file costs a stat; any other is opened at once, its stamp taken from the
        // open file.
        std::optional<storage::FileStamp> stamp;
        if (it != notes_.end()) {
            stamp = storage::stamp_of(path);
            if (!stamp)
                return std::nullopt;
            modified_ns = stamp->modified_ns;
            if (it->second.stamp == *stamp)
                return it->second.walk.newest;
        }
        std::optional<Note> note = indexed_note(path, stamp);
        if (!note)
            note = read_note(path, stamp, it == notes_.end() ? nullptr : &it->second);
        changed_ = true;
        if (!note) {
            if (it != notes_.end())
                notes_.erase(it);
            return std::nullopt;
        }
        modified_ns = note->stamp.modified_ns;
        return (notes_[path] = *note).walk.newest;
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
    // A real-time file the merge index knows as it is now, to its last byte: the entry gives
    // the note without opening the file, as the merge read or wrote the file. The first
    // overview after a run's merges costs a stat per merged file then.
    std::optional<Note> indexed_note(const std::string& path, std::optional<storage::FileStamp>& stamp)
    {
        if (is_classic(path))
            return std::nullopt;
        const storage::WellFileSummary* summary = merge_index().find(path);
        if (summary == nullptr)
            return std::nullopt;
        if (!stamp)
            stamp = storage::stamp_of(path);
        if (!stamp || !(summary->stamp == *stamp) || summary->whole_length != stamp->size || summary->end_check == 0)
            return std::nullopt;
        Note note;
        note.stamp = *stamp;
        note.walk.newest = NewestRecord{summary->largest_time, summary->newest_depth};
        note.walk.end = summary->whole_length;
        note.walk.version = summary->version;
        note.walk.columns = static_cast<std::int32_t>(summary->layout.size());
        note.walk.has_params = !summary->params.empty();
        note.end_check = summary->end_check;
        return note;
    }

    std::optional<Note> read_note(const std::string& path, std::optional<storage::FileStamp> stamp, const Note* old)
    {
        // One system call where the file is no link: the first overview after merges opens
        // every well file, and the checks of a general open cost as much as its read.
        platform::OpenResult opened = platform::open_read_no_follow(path);
        if (!opened.fd.valid())
            opened = platform::open_regular_file(path, platform::OpenAccess::read);
        if (!opened.fd.valid())
            return std::nullopt;
        if (!stamp)
            stamp = storage::stamp_of(opened.fd.get());
        if (!stamp)
            return std::nullopt;
        FileWindow file(opened.fd.get(), stamp->size);
        std::optional<Note> note = walked_note(path, file, *stamp, old);
        if (!note)
            note = whole_read(path);
        if (note)
            note->stamp = *stamp;
        return note;
    }

    // The note from reading near the end, or from walking the sectors; nullopt where only
    // the whole reader can tell.
    std::optional<Note> walked_note(const std::string& path, FileWindow& file, const storage::FileStamp& stamp,
                                    const Note* old)
    {
        Note note;
        if (is_classic(path)) {
            const std::optional<NewestRecord> newest = storage::classic_newest(file, stamp.size);
            if (!newest)
                return std::nullopt;
            note.walk.newest = *newest;
            return note;
        }
        // Grown by appends since the last call: only the new sectors are read.
        if (old != nullptr && old->stamp.device == stamp.device && old->stamp.inode == stamp.inode &&
            old->walk.end <= stamp.size && same_beginning(file, *old)) {
            note = *old;
            return walked_on(file, stamp.size, note);
        }
        if (const storage::WellFileSummary* summary = merge_index().find(path);
            summary != nullptr && summary->stamp == stamp) {
            if (std::optional<SectorWalk> walk = storage::indexed_newest(file, *summary)) {
                note.walk = *walk;
                return walked_on(file, stamp.size, note);
            }
        }
        return walked_on(file, stamp.size, note);
    }

    static std::optional<Note> walked_on(FileWindow& file, std::uint64_t size, Note& note)
    {
        if (!storage::walk_sectors(file, size, note.walk))
            return std::nullopt;
        note.end_check = end_check_at(file, note.walk.end);
        return note;
    }

    // A damaged file: the reader goes around the damage; it is read again only when it changes.
    std::optional<Note> whole_read(const std::string& path)
    {
        const std::optional<NewestRecord> newest = read_whole(path);
        if (!newest)
            return std::nullopt;
        Note note;
        note.walk.newest = *newest;
        return note; // no end check: a change means a full read
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

// Every kind that holds records counts, by time or by depth as the table says.
DataKind data_kind(const std::string& name)
{
    const data_file_kinds::DataFileKind* kind = data_file_kinds::of_name(name);
    if (!kind || !data_file_kinds::holds_records(kind->kind))
        return DataKind::none;
    return data_file_kinds::by_depth(kind->kind) ? DataKind::depth : DataKind::time;
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
    NewestRecord newest;
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
        const std::optional<NewestRecord> facts = notes.newest_of(path, modified_ns);
        if (!facts) {
            row.unreadable.push_back(entry.name);
            continue;
        }
        std::uint32_t& slot = kind == DataKind::time ? row.newest_time_file : row.newest_depth_file;
        slot = std::max(slot, facts->time);
        newest.take(facts->time, facts->depth);
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
    const std::map<std::string, WellArrivals> arrivals =
        read_arrivals(request.state_folder.empty() ? "" : request.state_folder + overview_files::arrivals);
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

} // namespace catalogue
