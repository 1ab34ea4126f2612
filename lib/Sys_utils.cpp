#include "lib/Sys_utils.h"

#include "lib/Strworks.h"
#include "platform/File.h"
#include "platform/Process.h"

#include <filesystem>

namespace lib {

namespace {

bool is_regular_file(const std::string& path)
{
    return platform::path_kind(path) == platform::PathKind::regular;
}

} // namespace

std::string folder_of(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string name_of(const std::string& path)
{
    return path.substr(folder_of(path).size());
}

std::string extension_of(const std::string& path)
{
    const std::string name = name_of(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : to_lower(name.substr(dot));
}

std::string with_slash(const std::string& folder)
{
    return folder.empty() || folder.back() == '/' ? folder : folder + '/';
}

std::string without_slash(const std::string& folder)
{
    return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

std::string folder_name_of(std::string name)
{
    for (char& c : name) {
        if (c == '/' || c == '\\')
            c = '_';
    }
    if (name.find_first_not_of('.') == std::string::npos)
        return {};
    return name;
}

std::string absolute_path(const std::string& path, const std::string& base)
{
    if (path.empty() || path.front() == '/')
        return path;
    std::filesystem::path full;
    if (base.empty()) {
        std::error_code error;
        full = std::filesystem::current_path(error);
        if (error)
            return path; // no current folder to resolve against: leave it to the caller's open
    }
    else {
        full = base;
    }
    std::string result = (full / path).lexically_normal().string();
    if (path.back() == '/' && (result.empty() || result.back() != '/'))
        result += '/';
    if (path.back() != '/' && result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

std::string program_folder()
{
    const std::string executable = platform::executable_path();
    return executable.empty() ? "./" : folder_of(executable);
}

RunResult run_and_wait(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& folder, bool /*console*/)
{
    RunResult result;
    if (!is_regular_file(program))
        return result;
    const std::string working_folder = folder.empty() ? folder_of(program) : folder;
    platform::ProcessResult process = platform::spawn_and_wait(program, arguments, working_folder);
    result.started = process.started;
    result.exit_code = process.exit_code;
    result.output = std::move(process.output);
    return result;
}

} // namespace lib
