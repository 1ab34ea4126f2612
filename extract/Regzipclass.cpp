#include "extract/Regzipclass.h"

#include "extract/Zlib_library.h"
#include "lib/Sys_utils.h"
#include "lib/io/File_replacement.h"
#include "storage/Classic_record.h"
#include "storage/Realtimedatareader.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

namespace rzip {

namespace {

bool is_plain_file_name(std::string_view name)
{
    constexpr std::string_view forbidden("/\\\0", 3);
    return !name.empty() && name != "." && name != ".." && name.find_first_of(forbidden) == std::string_view::npos;
}

void check_unpacked_len(std::int32_t unpacked_len, const char* function)
{
    if (unpacked_len < 0 || unpacked_len > layout::max_unpacked_len)
        throw Exception(std::string(function) + ": wrong uncompr_len!");
}

} // namespace

bool is_plain_member_name(std::string_view name)
{
    if (!is_plain_file_name(name))
        return false;
    // "..newcompr1" would be saved as "." and "...newcompr1" as "..": the folder and its parent.
    if (name.ends_with(layout::stream_suffix))
        return is_plain_file_name(name.substr(0, name.size() - layout::stream_suffix.size()));
    return true;
}

Decompression::Decompression(std::string package_path) : package_path_(std::move(package_path))
{
    try {
        in_.open(package_path_, false);
    }
    catch (const lib::io::FileError&) {
        open_error_ = std::current_exception();
        return;
    }
    if (in_.remaining() < layout::header_size)
        return;
    divisor_ = in_.read_value<std::uint16_t>();
    readable_ = true;
}

void Decompression::extract_all(const std::string& folder)
{
    const std::string target = lib::with_slash(folder);
    std::error_code error;
    std::filesystem::create_directories(target, error);
    if (error)
        throw lib::io::FileError(lib::io::text::cannot_write, target, error.value());
    if (!readable_)
        return;
    in_.seek(layout::header_size, lib::io::SeekOrigin::from_begin);
    working_in_background_ = true;
    try {
        while (extract_next_file(target)) {
        }
    }
    catch (...) {
        abandon_background();
        throw;
    }
    working_in_background_ = false;
    wait_for_background();
}

namespace {

void rebuild_realtime_file(const std::vector<unsigned char>& stream, const std::string& target)
{
    lib::io::BinaryMemoryInputStream in;
    in.set_data(stream.data(), stream.size());
    rebuild_single_stream(in, target, lib::io::Durability::scratch);
}

} // namespace

std::vector<unsigned char> Decompression::Buffers::take()
{
    const std::lock_guard lock(mutex_);
    if (free_.empty())
        return {};
    std::vector<unsigned char> buffer = std::move(free_.back());
    free_.pop_back();
    return buffer;
}

void Decompression::Buffers::give_back(std::vector<unsigned char> buffer)
{
    const std::lock_guard lock(mutex_);
    // As many as can be in use at once, one more: the rest would only hold memory.
    if (free_.size() <= std::thread::hardware_concurrency())
        free_.push_back(std::move(buffer));
}

void Decompression::in_background(std::string target, std::function<void()> task)
{
    if (!working_in_background_) {
        task();
        return;
    }
    wait_for_target(target);
    const std::size_t at_once = std::max(1u, std::thread::hardware_concurrency());
    if (background_.size() >= at_once) {
        BackgroundTask oldest = std::move(background_.front());
        background_.pop_front();
        oldest.done.get(); // the oldest first: its error is the first to report
    }
    background_.push_back({std::move(target), std::async(std::launch::async, std::move(task))});
}

void Decompression::wait_for_target(const std::string& target)
{
    const auto last = std::find_if(background_.rbegin(), background_.rend(),
                                   [&](const BackgroundTask& task) { return task.target == target; });
    for (auto left = std::distance(last, background_.rend()); left > 0; --left) {
        BackgroundTask oldest = std::move(background_.front());
        background_.pop_front();
        oldest.done.get();
    }
}

// Every task finishes before the first failure, in member order, is reported.
void Decompression::wait_for_background()
{
    for (BackgroundTask& task : background_)
        task.done.wait();
    std::deque<BackgroundTask> done;
    done.swap(background_);
    for (BackgroundTask& task : done)
        task.done.get();
}

// The package failed: its tasks must still end before their folder is cleaned up, and
// their own errors add nothing to the package's.
void Decompression::abandon_background() noexcept
{
    working_in_background_ = false;
    for (BackgroundTask& task : background_)
        task.done.wait();
    background_.clear();
}

bool Decompression::extract_next_file(const std::string& folder)
{
    if (!readable_ || in_.remaining() == 0)
        return false;
    // A package cut inside the kind, the name length or the name is damaged like one cut
    // anywhere else: ending quietly would count a package cut short in transfer as done.
    if (in_.remaining() < 2)
        throw Exception(text::cut_in_member_head);
    const std::uint8_t kind = in_.read_u8();
    const std::uint8_t name_len = in_.read_u8();
    if (in_.remaining() < name_len)
        throw Exception(text::cut_in_member_head);
    std::string raw_name(name_len, '\0');
    in_.read(raw_name.data(), raw_name.size());
    lib::StrEncConverter converter(lib::enc_1251);
    const std::string name = converter.decode(raw_name.data(), raw_name.size());
    // The decoder stops at a zero byte, so a name holding one is judged by its raw bytes.
    const bool plain = raw_name.find('\0') == std::string::npos && is_plain_member_name(name);

    if (in_.remaining() < 8)
        throw Exception("Пакет обрывается в заголовке файла '" + name + "'");
    const auto packed_len = in_.read_value<std::uint32_t>();
    const auto unpacked_len = in_.read_value<std::int32_t>();
    check_unpacked_len(unpacked_len, "extract_next_file");

    if (!plain) {
        // Not a file name of this folder: step over its data and go on with the next member.
        const std::uint64_t left = in_.remaining();
        if (packed_len > left)
            throw Exception("Файл '" + name + "' в пакете обрезан: заявлено " + std::to_string(packed_len) +
                            " байт сжатых данных, а до конца пакета " + std::to_string(left) + " байт");
        in_.skip(packed_len);
        return true;
    }

    const std::string path = lib::with_slash(folder) + name;
    extract_simple_file(path, packed_len, unpacked_len);
    if (kind == layout::kind_quantised) {
        wait_for_target(path); // the expansion reads the compact file back
        expand_quantised_file(path);
    }
    return true;
}

std::vector<unsigned char> Decompression::read_packed(const std::string& name, std::uint32_t packed_len)
{
    // The length comes from the package: trust it only as far as the package reaches.
    const std::uint64_t left = in_.remaining();
    if (packed_len > left)
        throw Exception("Файл '" + name + "' в пакете обрезан: заявлено " + std::to_string(packed_len) +
                        " байт сжатых данных, а до конца пакета " + std::to_string(left) + " байт");
    std::vector<unsigned char> packed = packed_buffers_.take();
    packed.resize(packed_len);
    if (!packed.empty())
        in_.read(packed.data(), packed.size());
    return packed;
}

std::vector<unsigned char> Decompression::inflate(const std::string& name, const std::vector<unsigned char>& packed,
                                                  std::int32_t unpacked_len)
{
    std::vector<unsigned char> unpacked = unpacked_buffers_.take();
    unpacked.resize(static_cast<std::size_t>(unpacked_len));
    unsigned long unpacked_size = unpacked.size();
    const int status = lib::zlib_instance().uncompress(unpacked.data(), &unpacked_size, packed.data(), packed.size());
    if (status != 0)
        throw Exception("extract_simple_file: uncompress=" + std::to_string(status));
    // A shorter stream than announced means a damaged member; zeros in its place would pass
    // for data.
    if (unpacked_size != unpacked.size())
        throw Exception("Размер распакованного файла '" + name + "' (" + std::to_string(unpacked_size) +
                        " байт) не совпадает с заявленным (" + std::to_string(unpacked.size()) + " байт)");
    return unpacked;
}

void Decompression::extract_simple_file(const std::string& path, std::uint32_t packed_len, std::int32_t unpacked_len)
{
    check_unpacked_len(unpacked_len, "extract_simple_file");
    std::string name = lib::name_of(path);
    std::vector<unsigned char> packed = read_packed(name, packed_len);
    const bool stream = path.ends_with(layout::stream_suffix);
    std::string target = stream ? path.substr(0, path.size() - layout::stream_suffix.size()) : path;
    // Reading the package is all this thread does: the members are inflated, and written or
    // rebuilt, side by side on the others.
    in_background(target, [this, packed = std::move(packed), name = std::move(name), target, unpacked_len, stream]() mutable {
        std::vector<unsigned char> unpacked = inflate(name, packed, unpacked_len);
        packed_buffers_.give_back(std::move(packed));
        if (stream)
            rebuild_realtime_file(unpacked, target);
        else
            lib::io::replace_file_contents(target, {reinterpret_cast<const char*>(unpacked.data()), unpacked.size()},
                                           lib::io::Durability::scratch);
        unpacked_buffers_.give_back(std::move(unpacked));
    });
}

void Decompression::expand_quantised_file(const std::string& path)
{
    std::string compact;
    try {
        compact = lib::io::read_whole_file(path);
    }
    catch (const lib::io::FileNotFoundError&) {
        return;
    }
    if (const std::optional<std::string> records = storage::classic_from_quantised(compact, divisor_))
        lib::io::replace_file_contents(path, *records, lib::io::Durability::scratch);
}

} // namespace rzip
