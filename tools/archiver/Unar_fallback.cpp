#include "tools/archiver/Unar_fallback.h"

#include "tools/archiver/Output_name.h"

#include <nlohmann/json.hpp>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace archiver {
namespace {

namespace fs = std::filesystem;

// Names without a Unicode form come from a Russian Windows, in its DOS code page.
constexpr const char* name_encoding = "IBM866";

struct DeclaredFile {
    std::uint64_t index = 0; // lsar's number of the entry, which unar takes to pick it
    std::string name;
    std::uint64_t size = 0;
    std::optional<std::uint32_t> crc;
};

// The private folder, removed with all it holds; remove_all never follows links.
class PrivateFolder {
public:
    explicit PrivateFolder(const std::string& parent)
    {
        std::string pattern = (fs::path(parent) / ".7za-unar-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~PrivateFolder()
    {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

class SpawnActions {
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

// Runs `program` from PATH with its output going to files, so that any amount of it fits.
// The exit status, or -1 when it could not be started or did not end normally.
int run_program(std::vector<std::string> arguments, const fs::path& output, const fs::path& errors)
{
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string read_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The last non-empty line a program wrote, for the message.
std::string last_line(const std::string& text)
{
    std::size_t end = text.find_last_not_of("\r\n \t");
    if (end == std::string::npos)
        return "no message";
    const std::size_t start = text.find_last_of('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

bool flag(const nlohmann::json& entry, const char* key)
{
    const auto it = entry.find(key);
    return it != entry.end() && it->is_number_integer() && it->get<std::int64_t>() != 0;
}

std::optional<std::uint32_t> declared_crc(const nlohmann::json& entry)
{
    for (const char* key : {"RARCRC32", "RAR5CRC32"}) {
        const auto it = entry.find(key);
        if (it != entry.end() && it->is_number_unsigned())
            return static_cast<std::uint32_t>(it->get<std::uint64_t>());
    }
    return std::nullopt;
}

// The files the package declares, in its order; folders, links and resource forks produce none.
std::optional<std::string> declared_files(const std::string& listing, std::vector<DeclaredFile>& files)
{
    const nlohmann::json json = nlohmann::json::parse(listing, nullptr, false);
    if (json.is_discarded() || !json.contains("lsarContents") || !json["lsarContents"].is_array())
        return "lsar gave no listing";
    for (const auto& entry : json["lsarContents"]) {
        if (flag(entry, "XADIsDirectory") || flag(entry, "XADIsLink") || flag(entry, "XADIsHardLink")
            || flag(entry, "XADIsResourceFork"))
            continue;
        if (flag(entry, "XADIsEncrypted"))
            return "encrypted package: encrypted entries cannot be unpacked";
        const auto index = entry.find("XADIndex");
        const auto name = entry.find("XADFileName");
        const auto size = entry.find("XADFileSize");
        if (index == entry.end() || !index->is_number_unsigned() || name == entry.end() || !name->is_string()
            || size == entry.end() || !size->is_number_unsigned())
            return "damaged package: an entry without a name or size";
        files.push_back({index->get<std::uint64_t>(), name->get<std::string>(), size->get<std::uint64_t>(),
                         declared_crc(entry)});
    }
    return std::nullopt;
}

std::uint32_t file_crc(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    uLong crc = crc32(0, nullptr, 0);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<z_size_t>(in.gcount()));
    return static_cast<std::uint32_t>(crc);
}

// Where unar put a declared file, when that lies inside its folder: names such as "/x" or
// "../x" must not lead our checks and renames to files outside.
std::optional<fs::path> unpacked_path(const fs::path& files_folder, const std::string& name)
{
    const fs::path relative(name);
    if (relative.empty() || relative.is_absolute())
        return std::nullopt;
    for (const auto& part : relative)
        if (part == "..")
            return std::nullopt;
    std::error_code ec;
    const fs::path path = fs::weakly_canonical(files_folder / relative, ec);
    const fs::path base = fs::weakly_canonical(files_folder, ec);
    if (ec || path.parent_path().string().rfind(base.string(), 0) != 0)
        return std::nullopt;
    return files_folder / relative;
}

// A declared file as unar left it: a regular file (never a link) of the declared size and CRC.
std::optional<std::string> check_unpacked(const fs::path& path, const DeclaredFile& file)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return "damaged package: " + file.name + " did not come out";
    if (static_cast<std::uint64_t>(st.st_size) != file.size)
        return "damaged package: " + file.name + " holds " + std::to_string(st.st_size) + " bytes but declares "
            + std::to_string(file.size);
    if (file.crc && file_crc(path) != *file.crc)
        return "damaged package: " + file.name + " fails its checksum";
    return std::nullopt;
}

} // namespace

std::optional<std::string> extract_with_unar(const std::string& package, const std::string& folder)
{
    const PrivateFolder scratch(folder);
    if (scratch.path().empty())
        return "cannot create a folder in " + folder + ": " + std::strerror(errno);
    const fs::path listing = scratch.path() / "listing.json";
    const fs::path messages = scratch.path() / "messages.txt";
    const fs::path files_folder = scratch.path() / "files";

    const int listed = run_program({"lsar", "-j", "-nr", "-e", name_encoding, package}, listing, messages);
    if (listed < 0)
        return "cannot run lsar (Debian package unar)";
    if (listed != 0)
        return "lsar: " + last_line(read_text(messages));
    std::vector<DeclaredFile> files;
    if (auto failure = declared_files(read_text(listing), files))
        return failure;

    if (files.empty())
        return std::nullopt;

    // Only the declared files are picked by their numbers, so unar never creates a link that a
    // later name could lead through.
    std::vector<std::string> command{"unar", "-q", "-nr", "-D", "-f", "-k", "skip", "-e", name_encoding,
                                     "-o", files_folder.string(), "-i", package};
    for (const DeclaredFile& file : files)
        command.push_back(std::to_string(file.index));
    const int unpacked = run_program(command, messages, messages);
    if (unpacked < 0)
        return "cannot run unar (Debian package unar)";
    if (unpacked != 0)
        return "unar: " + last_line(read_text(messages));

    // A name the package holds twice comes out once, as its last copy.
    std::map<std::string, std::size_t> last_copy;
    for (std::size_t i = 0; i < files.size(); ++i)
        last_copy[files[i].name] = i;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (last_copy[files[i].name] != i)
            continue;
        const auto path = unpacked_path(files_folder, files[i].name);
        if (!path)
            return "damaged package: the entry name " + files[i].name + " leads outside the folder";
        if (auto failure = check_unpacked(*path, files[i]))
            return failure;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto name = safe_output_name(files[i].name);
        if (last_copy[files[i].name] != i || !name)
            continue;
        const fs::path target = fs::path(folder) / *name;
        if (::rename((files_folder / files[i].name).c_str(), target.c_str()) != 0)
            return "cannot write " + target.string() + ": " + std::strerror(errno);
    }
    return std::nullopt;
}

} // namespace archiver
