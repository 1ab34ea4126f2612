#pragma once
// dravinex-cli watch as a child process over the home, input folder and store of a test's
// folder ("home", "in", "store"), settling packages after 0.2 s, its standard output and
// error in "out.txt" and "err.txt" there; killed at the end of the test if still running.
// It is a process of its own since it takes over SIGINT and SIGTERM.

#include "core/support/TempDir.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace clitest {

class WatchProcess {
public:
    // `options` follow the folders (such as "--notify"); `environment` holds NAME=VALUE to
    // set, or NAME to unset, in the child.
    explicit WatchProcess(const testsupport::TempDir& dir, std::vector<std::string> options = {},
                          const std::vector<std::string>& environment = {})
        : dir_(dir)
    {
        std::filesystem::create_directories(dir.file("in"));
        std::vector<std::string> args = {DRAVINEX_CLI, "watch", "--home", dir.file("home"), "--from", dir.file("in"),
                                         "--to", dir.file("store"), "--settle", "0.2"};
        args.insert(args.end(), options.begin(), options.end());
        pid_ = ::fork();
        if (pid_ == 0)
            run_child(args, environment);
    }
    ~WatchProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    WatchProcess(const WatchProcess&) = delete;
    WatchProcess& operator=(const WatchProcess&) = delete;

    std::string out() const { return testsupport::read_file(dir_.file("out.txt")); }
    std::string err() const { return testsupport::read_file(dir_.file("err.txt")); }

    // Whether `text` appears on standard error (or, for wrote, on either stream) in time.
    bool says(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(30)) const
    {
        return soon([&] { return err().find(text) != std::string::npos; }, limit);
    }
    bool wrote(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(30)) const
    {
        return soon([&] { return err().find(text) != std::string::npos || out().find(text) != std::string::npos; },
                    limit);
    }

    void signal(int number) const { ::kill(pid_, number); }

    // The exit status, or -1 when it did not end in time or ended by a signal.
    int wait(std::chrono::seconds limit = std::chrono::seconds(30))
    {
        int status = 0;
        const bool ended = soon([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
        if (!ended)
            return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // SIGTERM, then the exit status.
    int stop()
    {
        signal(SIGTERM);
        return wait();
    }

private:
    [[noreturn]] void run_child(std::vector<std::string>& args, const std::vector<std::string>& environment) const
    {
        const int out = ::open(dir_.file("out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(dir_.file("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        for (const std::string& change : environment) {
            const auto equals = change.find('=');
            if (equals == std::string::npos)
                ::unsetenv(change.c_str());
            else
                ::setenv(change.substr(0, equals).c_str(), change.substr(equals + 1).c_str(), 1);
        }
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(DRAVINEX_CLI, argv.data());
        ::_exit(127);
    }

    template <class Done>
    static bool soon(Done done, std::chrono::seconds limit)
    {
        for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    const testsupport::TempDir& dir_;
    pid_t pid_ = -1;
};

} // namespace clitest
