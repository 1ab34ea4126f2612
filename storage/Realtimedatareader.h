#pragma once
// The in-memory model of one GTI data file, whatever form it has on disk.
//
// A FileStorage holds parameter descriptions, records (each through a shared owner), the
// file's descriptive name=value texts, remarks and the warnings its loads produced. It is
// loaded from the classic and real-time forms (and the compressed ones), and saved in the
// real-time form. Loads add to what the model holds, which is how a merge works; only
// clear() empties it. Errors are FileStorageException (UTF-8 text) or the file errors of
// lib::io. A model is used by one thread and is not copyable.

#include "lib/io/Binary_io.h"
#include "lib/io/File_replacement.h"
#include "storage/Newest_record.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <array>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class FileStorage;

namespace storage_text {
inline constexpr std::string_view wrong_extension = "Неправильное расширение открываемого файла: ";
inline constexpr std::string_view too_many_params = "слишком много параметров";
inline constexpr std::string_view bad_depth = "Некорректная глубина на записи №";
inline constexpr std::string_view sector_param_count = "sector_param_count = ";
inline constexpr std::string_view text_area_damaged = "Повреждён файл в области текстовых данных";
inline constexpr std::string_view unknown_error = "Неизвестная ошибка";
inline constexpr std::string_view classic_param_list = "inpgti.nbl";
inline constexpr std::string_view no_locking_marker = ".nolocking";
inline constexpr std::string_view msg_data_old_version = "msg_data_old_version";
inline constexpr std::string_view msg_data_skips = "msg_data_skips";
inline constexpr std::string_view msg_data_corrupt = "msg_data_corrupt";
} // namespace storage_text

class FileStorageException : public std::runtime_error {
public:
    FileStorageException(const std::string& message, bool critical)
        : std::runtime_error(message), critical_(critical)
    {
    }
    bool critical() const { return critical_; }

private:
    bool critical_;
};

// One record: a sample of every parameter with its time, depths and operation code.
struct FileStorageItem {
    std::array<std::int32_t, 4> reserved = {-1, -1, -1, -1};
    std::uint8_t subsecond = 0;
    std::uint32_t time = 0;
    float depth_z = 0;
    float depth_cur = 0;
    float lag_depth = 0;
    std::vector<float> values; // index = parameter index
    std::uint8_t stamped = 1;  // 0 for a values-only record
    std::uint8_t operation = 0;
};

// One parameter description; parameters are the same when their lower-cased names are.
struct FileStorageParam {
    std::string text1;
    std::string text2;
    std::string text3;
    std::string name;
    std::string text5;
    std::string text6;
    std::int32_t int_attr = 0;
    float float_attr = 100.0f;
};

struct SimpleRemark {
    std::uint32_t value1 = 0;
    std::uint32_t value2 = 0;
    std::uint32_t value3 = 0;
    std::string text;

    bool operator==(const SimpleRemark&) const = default;
};

// Lines "name=value"; names are found without regard to letter case.
class FileStorageTextValues {
public:
    explicit FileStorageTextValues(FileStorage& owner) : owner_(owner) {}

    std::string value(std::string_view name) const;
    // Replaces the line of that name or appends one; an empty value removes the name.
    void set_value(std::string_view name, std::string_view value);
    // The lines joined by CR LF.
    std::string text() const;
    // Replaces every line by the lines of `text` (CR LF, LF or CR), taken as they are.
    void set_text(std::string_view text);
    const std::vector<std::string>& lines() const { return lines_; }
    void clear() { lines_.clear(); }
    FileStorage& owner() const { return owner_; }

private:
    std::size_t find(std::string_view name) const;

    FileStorage& owner_;
    std::vector<std::string> lines_;
};

// Stands for the system-wide mutex every model holds on the original platform. Nothing ever
// waits on it and nothing here observes it, so on Linux it holds nothing but its name.
class NamedMutexToken : private boost::noncopyable {
public:
    explicit NamedMutexToken(std::string_view name) : name_(name) {}
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

class FileStorage : private boost::noncopyable {
public:
    static constexpr int max_params = 512;
    static constexpr std::uint32_t no_time_limit = std::numeric_limits<std::uint32_t>::max();

    FileStorage();
    ~FileStorage();

    // Drops records, parameters, texts and remarks; keeps warnings, variant, encoding,
    // file name, file time and the time range.
    void clear();
    void set_time_filter(std::uint32_t from, std::uint32_t to);

    // Reads a classic (.tim .dep .ldp) or real-time (.realtim .realdep .reallag .rtm
    // .incldep) file, chosen by the extension without regard to case, adding its contents.
    bool load(const std::string& path);
    // Reads the compressed column files base + ".params", ".values", ... of form version 0
    // (code page 1251, 32-bit times) or 2 (UTF-8, times with sub-seconds). Call clear() first.
    void load_compressed(const std::string& base, int form_version);
    // Empties the model and reads a "CREGFILE" single stream.
    void load_after_decompressing(lib::io::BinaryInputStream& in);

    // The index of the parameter with this name (its three texts updated), or of a new one.
    int add_parameter(const FileStorageParam& param);
    void add_record(const FileStorageItem& item);
    // The same without copying the values, for readers that build the item themselves.
    void add_record(FileStorageItem&& item);

    // save_realtime() for a model from a real-time or compressed form; nothing for classic.
    void save(const std::string& path);
    // Writes the whole model in the real-time form through a temporary file and a rename.
    void save_realtime(const std::string& path, lib::io::Durability durability = lib::io::Durability::synced);

    // The largest record time, 0 without records (passed-over records included).
    std::uint32_t largest_time() const;

    // A merge wants only the largest time of the well's file, not its records: while this is
    // off, records read are passed over, their times still counted by largest_time() and
    // newest_record().
    void keep_records(bool keep) { keep_records_ = keep; }
    bool keeps_records() const { return keep_records_; }

    // The newest record read, passed over or kept, in the order they were read.
    storage::NewestRecord newest_record() const;
    // A read that goes on where an earlier one stopped (a merge reading only what was
    // appended since) starts from the newest record of the part before.
    void continue_after(storage::NewestRecord earlier) { passed_over_ = earlier; }

    // Fields are public: the readers and writers of each form fill and read them directly.
    lib::io::FileTime file_time = 0;
    NamedMutexToken lock{"reg_data_file_mutex"};
    std::uint32_t time_from = 0;
    std::uint32_t time_to = no_time_limit;
    std::vector<boost::shared_ptr<FileStorageItem>> records;
    std::array<std::int32_t, max_params> column_map{};
    std::vector<FileStorageParam> params;
    int param_count = 0;
    int file_column_count = 0;
    int realtime_form = 0;
    std::string file_name;
    std::vector<std::string> warnings;
    std::vector<SimpleRemark> remarks;
    int encoding = lib::enc_1251;
    int version = 2;
    FileStorageTextValues text_values{*this};

private:
    bool keep_records_ = true;
    storage::NewestRecord passed_over_;
};

// The readers and writers of each form, used by FileStorage.
bool load_classic(FileStorage& model, const std::string& path);
// Reads classic records held in memory as load_classic does, without the parameter list:
// what a merge needs, which appends records and never touches the list.
void read_classic_records(FileStorage& model, const char* data, std::size_t size);
bool load_realtime(FileStorage& model, const std::string& path);
void load_compressed(FileStorage& model, const std::string& base, int form_version);
void load_after_decompressing(FileStorage& model, lib::io::BinaryInputStream& in);

// A single stream's records as the stream holds them: a list per record field, and the
// values parameter by parameter (param_count lists of times.size() values, one after
// another). Each record has `declared` values, those past the decoded lists 0.
struct StreamRecords {
    std::vector<std::uint32_t> times;
    std::vector<float> depth_z;
    std::vector<float> depth_cur;
    std::vector<float> lag_depth;
    std::vector<std::uint8_t> operations;
    std::vector<float> values;
    std::size_t declared = 0;
};
// Reads a single stream as load_after_decompressing does, its parameters and texts into
// `model` (left without records) and its records into `records`.
void read_stream_columns(FileStorage& model, lib::io::BinaryInputStream& in, StreamRecords& records);
// A single stream straight into the real-time file that loading it and saving the model
// writes, byte for byte, without making a record object per record: a .7z_reg's or a
// .zreg's streams are rebuilt at the speed of their columns.
void rebuild_single_stream(lib::io::BinaryInputStream& in, const std::string& path, lib::io::Durability durability);
// Reads a column (method number and body) into `column`; method 3 keeps its current length.
void decode_column(lib::io::BinaryInputStream& in, std::vector<float>& column);
void save_realtime(FileStorage& model, const std::string& path,
                   lib::io::Durability durability = lib::io::Durability::synced);
// What save_realtime writes for the model, the stream's records in place of the model's.
void save_realtime_stream(FileStorage& model, const StreamRecords& records, const std::string& path,
                          lib::io::Durability durability);

// Reads a real-time file's bytes held in memory into the model, like load_realtime.
// Returns the length of the sectors read whole: a cut last sector, or bytes no sector could
// be read from, lie beyond it.
std::size_t load_realtime_bytes(FileStorage& model, const char* data, std::size_t size);
// Reads the sectors that follow a file's earlier ones onto a model that already holds what
// those said (parameters, layout, text values, remarks, variant and encoding), as a whole
// read would have gone on; the same result, without the earlier bytes. Returns where the
// last sector read whole ends, counted from `data`.
std::size_t continue_realtime_bytes(FileStorage& model, const char* data, std::size_t size);

// What a merge appends to a real-time file, in the variant and encoding the file's reader
// stands in at its end: a parameter sector of every parameter when `params`, the records
// and remarks from the first new ones on, and a text sector of `text_lines` when any.
struct RealtimeTail {
    int version = 2;
    int encoding = lib::enc_utf8;
    bool params = false;
    std::size_t first_record = 0;
    std::size_t first_remark = 0;
    std::vector<std::string> text_lines;
};
std::vector<char> realtime_tail(FileStorage& model, const RealtimeTail& tail);

// True when a file ".nolocking" lies in the folder of `path`: then real-time files are
// opened without the lock.
bool locking_disabled_for(const std::string& path);

// True for the extensions FileStorage::load reads, classic and real-time ("tim", "realtim"
// ...; lower case, with the dot).
bool is_data_file_extension(const std::string& extension);
