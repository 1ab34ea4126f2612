// Merging by appending: the well's file is locked, read once, and receives at its end only
// the sectors that carry what is new. A run killed in the middle leaves the old sectors
// whole and at most one cut sector at the end, which the next merge cuts off first.

#include "storage/Realtime_merge.h"

#include "storage/Merge_index.h"
#include "storage/Realtimedatareader.h"

#include "lib/Strworks.h"
#include "lib/io/Binary_io.h"
#include "lib/io/Locked_file.h"
#include "platform/File.h"

#include <algorithm>
#include <memory>
#include <cerrno>

namespace storage {

namespace {

std::string reason_of(const std::exception& error)
{
    if (const auto* file_error = dynamic_cast<const lib::io::FileError*>(&error))
        return file_error->describe();
    return error.what();
}

// The well's file, opened for reading and writing and held locked (unless the folder says
// ".nolocking") from the read of its contents to the flush of what was appended.
std::unique_ptr<lib::io::LockedFile> lock_well_file(const std::string& path)
{
    return std::make_unique<lib::io::LockedFile>(path, !locking_disabled_for(path));
}

// The arriving file repeats the remarks it carried last time: only those the well's file
// does not hold yet are kept (remarks from `first_arrived` on are the arriving file's).
void keep_new_remarks(std::vector<SimpleRemark>& remarks, std::size_t first_arrived)
{
    std::size_t kept = first_arrived;
    for (std::size_t i = first_arrived; i < remarks.size(); ++i) {
        const auto known_end = remarks.begin() + static_cast<std::ptrdiff_t>(kept);
        if (std::find(remarks.begin(), known_end, remarks[i]) != known_end)
            continue;
        // Moving a remark onto itself would empty its text.
        if (kept != i)
            remarks[kept] = std::move(remarks[i]);
        ++kept;
    }
    remarks.resize(kept);
}

// What the well's file said, as its reader stood at the end of it.
struct WellState {
    int version = 0;
    int encoding = lib::enc_1251;
    std::size_t records = 0;
    std::size_t remarks = 0;
    std::vector<FileStorageParam> params;
    std::vector<std::int32_t> layout; // parameter index of each column of the last parameter sector
    std::vector<std::string> text_lines;
};

WellState state_of(const FileStorage& model)
{
    WellState state;
    state.version = model.version;
    state.encoding = model.encoding;
    state.records = model.records.size();
    state.remarks = model.remarks.size();
    state.params.assign(model.params.begin(), model.params.begin() + model.param_count);
    const auto columns = static_cast<std::size_t>(std::clamp(model.file_column_count, 0, FileStorage::max_params));
    state.layout.assign(model.column_map.begin(), model.column_map.begin() + static_cast<std::ptrdiff_t>(columns));
    state.text_lines = model.text_values.lines();
    return state;
}

bool same_description(const FileStorageParam& a, const FileStorageParam& b)
{
    return a.name == b.name && a.text1 == b.text1 && a.text2 == b.text2 && a.text3 == b.text3
           && a.int_attr == b.int_attr && a.float_attr == b.float_attr;
}

// The new records are written one value per parameter: the file's last parameter sector
// must map column i to parameter i for all of them, and describe them as the model does.
bool needs_parameter_sector(const WellState& state, const FileStorage& model)
{
    if (state.layout.size() != static_cast<std::size_t>(model.param_count))
        return true;
    for (std::size_t i = 0; i < state.layout.size(); ++i) {
        if (state.layout[i] != static_cast<std::int32_t>(i))
            return true;
    }
    for (std::size_t i = 0; i < state.params.size(); ++i) {
        if (!same_description(state.params[i], model.params[i]))
            return true;
    }
    return false;
}

std::string name_of_line(const std::string& line)
{
    return line.substr(0, line.find('='));
}

bool has_name(const std::vector<std::string>& lines, const std::string& name)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return lib::equals_ignore_case(name_of_line(line), name); });
}

// The lines a text sector must carry so that the file's text values, read on, become the
// model's: names gone are emptied, changed and new lines repeated. When that would leave the
// lines in another order, every known name is emptied and all lines are given again.
std::vector<std::string> changed_text_lines(const std::vector<std::string>& before, FileStorage& model)
{
    const std::vector<std::string>& after = model.text_values.lines();
    if (before == after)
        return {};
    std::vector<std::string> changes;
    for (const std::string& line : before) {
        const std::string name = name_of_line(line);
        if (!has_name(after, name))
            changes.push_back(name + "=");
    }
    for (const std::string& line : after) {
        if (std::find(before.begin(), before.end(), line) == before.end())
            changes.push_back(line);
    }
    FileStorage trial;
    for (const std::string& line : before)
        trial.text_values.set_value(name_of_line(line), line.substr(std::min(line.size(), name_of_line(line).size() + 1)));
    for (const std::string& line : changes) {
        const std::string name = name_of_line(line);
        trial.text_values.set_value(name, line.substr(std::min(line.size(), name.size() + 1)));
    }
    if (trial.text_values.lines() == after)
        return changes;
    changes.clear();
    for (const std::string& line : before)
        changes.push_back(name_of_line(line) + "=");
    changes.insert(changes.end(), after.begin(), after.end());
    return changes;
}

void load_source(FileStorage& model, const std::string& source)
{
    try {
        model.load(source);
    }
    catch (const std::exception& error) {
        throw MergeLoadError(source, reason_of(error));
    }
}

// Sets the filter past the well's last record; false when nothing can be newer.
bool filter_newer_than_well(FileStorage& model)
{
    const std::uint32_t largest = model.largest_time();
    if (largest >= FileStorage::no_time_limit - 1)
        return false; // largest + 2 would wrap
    model.set_time_filter(largest + 2, FileStorage::no_time_limit);
    return true;
}

bool merge_by_rewriting(const std::string& target, const std::string& source)
{
    FileStorage model;
    try {
        model.load(target);
    }
    catch (const std::exception& error) {
        throw MergeLoadError(target, reason_of(error));
    }
    const WellState well = state_of(model);
    if (!filter_newer_than_well(model))
        return false;
    load_source(model, source);
    keep_new_remarks(model.remarks, well.remarks);
    if (model.records.size() == well.records && model.remarks.size() == well.remarks)
        return false;
    model.version = well.version;
    model.save(target);
    return true;
}

// The well's file as its summary says, without its records: parameters at the same
// indexes, the last layout, the text values and the remarks.
void seed_from(FileStorage& model, const WellFileSummary& summary)
{
    for (const FileStorageParam& param : summary.params)
        model.add_parameter(param);
    model.column_map.fill(-1);
    std::copy(summary.layout.begin(), summary.layout.end(), model.column_map.begin());
    model.file_column_count = static_cast<int>(summary.layout.size());
    for (const std::string& line : summary.text_lines) {
        const std::string name = name_of_line(line);
        model.text_values.set_value(name, line.substr(std::min(line.size(), name.size() + 1)));
    }
    model.remarks = summary.remarks;
    model.continue_after(NewestRecord{summary.largest_time, summary.newest_depth});
    model.version = summary.version;
    model.encoding = summary.encoding;
}

WellFileSummary summary_of(const FileStorage& model, const FileStamp& stamp, std::uint64_t whole)
{
    WellFileSummary summary;
    summary.stamp = stamp;
    summary.whole_length = whole;
    const NewestRecord newest = model.newest_record();
    summary.largest_time = newest.time;
    summary.newest_depth = newest.depth;
    summary.version = model.version;
    summary.encoding = model.encoding;
    summary.params.assign(model.params.begin(), model.params.begin() + model.param_count);
    const auto columns = static_cast<std::size_t>(std::clamp(model.file_column_count, 0, FileStorage::max_params));
    summary.layout.assign(model.column_map.begin(), model.column_map.begin() + static_cast<std::ptrdiff_t>(columns));
    summary.text_lines = model.text_values.lines();
    summary.remarks = model.remarks;
    return summary;
}

// Whether the file is the entry's file grown since (another machine's merge appended to
// it): the same file, no shorter, and its bytes at the entry's end as they were.
bool grown_since(const WellFileSummary& known, int fd, const FileStamp& now)
{
    return now.device == known.stamp.device && now.inode == known.stamp.inode && now.size >= known.whole_length
           && end_check_of(fd, known.whole_length) == known.end_check;
}

// A whole read of the file: `model` is left with its parameters, layout, texts and remarks.
WellFileSummary read_whole(const lib::io::LockedFile& file, const FileStamp& stamp, FileStorage& model)
{
    const lib::io::LockedFile::Bytes bytes = file.read_all();
    model.keep_records(false); // only their largest time matters here
    const std::size_t whole = load_realtime_bytes(model, bytes.data.get(), bytes.size);
    model.keep_records(true);
    WellFileSummary summary = summary_of(model, stamp, whole);
    summary.end_check = end_check_of(file.fd(), whole).value_or(0);
    return summary;
}

// The same result from the entry and the bytes appended after its end: the reader goes on
// where the entry left it, so a well another machine merged into costs what that machine
// added, not the whole file.
WellFileSummary read_grown(const lib::io::LockedFile& file, const FileStamp& stamp, const WellFileSummary& known,
                           FileStorage& model)
{
    seed_from(model, known);
    const lib::io::LockedFile::Bytes bytes = file.read_from(known.whole_length);
    model.keep_records(false);
    const std::size_t whole = continue_realtime_bytes(model, bytes.data.get(), bytes.size);
    model.keep_records(true);
    WellFileSummary summary = summary_of(model, stamp, known.whole_length + whole);
    summary.end_check = end_check_of(file.fd(), summary.whole_length).value_or(0);
    return summary;
}

// The summary the index holds for the file as it is now, made from the entry and what was
// appended since, or made by reading the file whole; `model` then holds the file's
// parameters, layout, texts and remarks, never its records.
WellFileSummary well_summary(const lib::io::LockedFile& file, const std::string& target, const MergeIndex* index,
                             FileStorage& model)
{
    const std::optional<FileStamp> stamp = stamp_of(file.fd());
    if (!stamp)
        throw lib::io::FileError(lib::io::text::cannot_read, target, errno);
    const WellFileSummary* known = index ? index->find(target) : nullptr;
    if (known && entry_matches(*known, file.fd(), *stamp)) {
        seed_from(model, *known);
        return *known;
    }
    if (known && grown_since(*known, file.fd(), *stamp))
        return read_grown(file, *stamp, *known, model);
    return read_whole(file, *stamp, model);
}

// The index entry of the file once the tail is on disk.
WellFileSummary grown_summary(const lib::io::LockedFile& file, const WellFileSummary& summary,
                              const FileStorage& model, const RealtimeTail& tail, std::size_t appended)
{
    const std::optional<FileStamp> stamp = stamp_of(file.fd());
    WellFileSummary grown = summary_of(model, stamp.value_or(FileStamp{}), summary.whole_length + appended);
    grown.end_check = end_check_of(file.fd(), grown.whole_length).value_or(0);
    // The model's layout is the arriving file's; the well file's is its own.
    if (tail.params) {
        grown.layout.resize(static_cast<std::size_t>(model.param_count));
        for (std::size_t i = 0; i < grown.layout.size(); ++i)
            grown.layout[i] = static_cast<std::int32_t>(i);
    }
    else {
        grown.layout = summary.layout;
    }
    return grown;
}

} // namespace

PendingAppend append_realtime(const std::string& target, const std::string& source, const MergeIndex* index)
{
    PendingAppend pending;
    FileStorage model;
    std::unique_ptr<lib::io::LockedFile> file;
    WellFileSummary summary;
    try {
        file = lock_well_file(target);
        summary = well_summary(*file, target, index, model);
    }
    catch (const std::exception& error) {
        throw MergeLoadError(target, reason_of(error));
    }
    const WellState well = state_of(model);
    // Nothing is written: the file as read is what the index may know of it now.
    pending.unchanged = summary;
    if (summary.largest_time >= FileStorage::no_time_limit - 1)
        return pending; // largest + 2 would wrap: nothing can be newer
    model.set_time_filter(summary.largest_time + 2, FileStorage::no_time_limit);
    load_source(model, source);
    keep_new_remarks(model.remarks, well.remarks);
    if (model.records.size() == well.records && model.remarks.size() == well.remarks)
        return pending;

    RealtimeTail tail;
    tail.version = summary.version;
    tail.encoding = summary.encoding;
    tail.params = needs_parameter_sector(well, model);
    tail.first_record = well.records;
    tail.first_remark = well.remarks;
    tail.text_lines = changed_text_lines(well.text_lines, model);
    const std::vector<char> bytes = realtime_tail(model, tail);
    file->append_at(summary.whole_length, bytes.data(), bytes.size());
    pending.grown = grown_summary(*file, summary, model, tail, bytes.size());
    pending.unchanged.reset();
    pending.file = std::move(file);
    return pending;
}


bool merge_realtime(const std::string& target, const std::string& source, MergeWrite how, MergeIndex* index)
{
    if (how == MergeWrite::rewrite)
        return merge_by_rewriting(target, source);
    PendingAppend pending = append_realtime(target, source, index);
    if (!pending.file) {
        if (index && pending.unchanged)
            index->put(target, std::move(*pending.unchanged));
        return false;
    }
    pending.file->flush();
    if (index && pending.grown)
        index->put(target, std::move(*pending.grown));
    return true;
}

bool cut_realtime_tail(const std::string& path)
{
    const std::unique_ptr<lib::io::LockedFile> file = lock_well_file(path);
    const lib::io::LockedFile::Bytes bytes = file->read_all();
    FileStorage model;
    const std::size_t whole = load_realtime_bytes(model, bytes.data.get(), bytes.size);
    if (whole >= bytes.size)
        return false;
    file->append_at(whole, nullptr, 0);
    file->flush();
    return true;
}

} // namespace storage
