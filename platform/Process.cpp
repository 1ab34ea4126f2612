#include "platform/Process.h"

#include "platform/File.h"

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

// posix_spawn's attribute objects, released on every path.
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

void append_bounded(std::string& output, const char* data, std::size_t count)
{
    output.append(data, count);
    if (output.size() > output_limit)
        output.erase(0, output.size() - output_limit);
}

std::string drain(int fd)
{
    std::string output;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0)
            append_bounded(output, buffer, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    return output;
}

int wait_for(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

ProcessResult spawn_and_wait(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& folder)
{
    ProcessResult result;
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0)
        return result;
    UniqueFd read_end(pipe_fds[0]);
    UniqueFd write_end(pipe_fds[1]);

    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), write_end.get(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(actions.get(), write_end.get(), STDERR_FILENO);
    if (!folder.empty())
        ::posix_spawn_file_actions_addchdir_np(actions.get(), folder.c_str());

    std::vector<char*> argv;
    std::vector<std::string> storage;
    storage.reserve(arguments.size() + 1);
    storage.push_back(program);
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    for (std::string& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv.data(), environ) != 0)
        return result;
    write_end.reset(); // only the child writes now, so the read below ends with it
    result.started = true;
    result.output = drain(read_end.get());
    result.exit_code = wait_for(pid);
    return result;
}

std::string executable_path()
{
    char buffer[4096];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

std::string account_home_folder()
{
    const passwd* account = ::getpwuid(::getuid());
    return account != nullptr && account->pw_dir != nullptr ? std::string(account->pw_dir) : std::string();
}

long current_process_id()
{
    return static_cast<long>(::getpid());
}

unsigned current_user_id()
{
    return static_cast<unsigned>(::getuid());
}

bool error_output_is_terminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace platform
