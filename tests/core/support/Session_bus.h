#pragma once
// A private D-Bus session bus for one test, and the fake notification service on it
// (tests/support/fake_notifications.cpp). Both are child processes, ended with the objects.
// The bus listens in a folder of the test, so that nothing of it is left behind.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

// dbus-daemon of Debian's package "dbus-daemon", or "" when it is not installed.
inline std::string dbus_daemon_program()
{
    for (const char* path : {"/usr/bin/dbus-daemon", "/bin/dbus-daemon"}) {
        if (::access(path, X_OK) == 0)
            return path;
    }
    return {};
}

// A child process with its standard output on a pipe; killed and reaped at the end.
class ChildProcess {
public:
    // `environment` holds NAME=VALUE texts that replace or add to this process's own.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        out_ = fds[0];
        std::vector<std::string> env = merged_environment(environment);
        std::vector<char*> env_pointers;
        for (std::string& entry : env)
            env_pointers.push_back(entry.data());
        env_pointers.push_back(nullptr);
        std::vector<std::string> args = argv;
        std::vector<char*> arg_pointers;
        for (std::string& arg : args)
            arg_pointers.push_back(arg.data());
        arg_pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        if (::posix_spawn(&pid_, arg_pointers[0], &actions, nullptr, arg_pointers.data(), env_pointers.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
    }
    ~ChildProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            ::close(out_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // The next line of its standard output without the line break; "" when none came in time.
    std::string read_line(std::chrono::milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto newline = buffer_.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || out_ < 0)
                return {};
            pollfd ready{out_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0)
                return {};
            char chunk[256];
            const ssize_t got = ::read(out_, chunk, sizeof chunk);
            if (got <= 0)
                return {};
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }

private:
    static std::vector<std::string> merged_environment(const std::vector<std::string>& changes)
    {
        std::vector<std::string> env;
        for (char** entry = environ; *entry; ++entry) {
            const std::string text = *entry;
            const std::string name = text.substr(0, text.find('=') + 1);
            bool replaced = false;
            for (const std::string& change : changes)
                replaced = replaced || change.compare(0, name.size(), name) == 0;
            if (!replaced)
                env.push_back(text);
        }
        env.insert(env.end(), changes.begin(), changes.end());
        return env;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

// dbus-daemon with a session bus of its own, listening in `folder`.
class PrivateSessionBus {
public:
    explicit PrivateSessionBus(const std::string& folder)
    {
        std::filesystem::create_directories(folder);
        const std::string config = folder + "/session-bus.conf";
        std::ofstream(config) << "<busconfig>\n"
                                 "  <type>session</type>\n"
                                 "  <listen>unix:dir=" << folder << "</listen>\n"
                                 "  <auth>EXTERNAL</auth>\n"
                                 "  <policy context=\"default\">\n"
                                 "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                                 "    <allow eavesdrop=\"true\"/>\n"
                                 "    <allow own=\"*\"/>\n"
                                 "  </policy>\n"
                                 "</busconfig>\n";
        daemon_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{dbus_daemon_program(), "--config-file=" + config, "--print-address=1", "--nofork"},
            std::vector<std::string>{});
        if (daemon_->started())
            address_ = daemon_->read_line(std::chrono::seconds(20));
    }

    // "" when the daemon could not be started.
    const std::string& address() const { return address_; }

private:
    std::unique_ptr<ChildProcess> daemon_;
    std::string address_;
};

// The fake org.freedesktop.Notifications on a bus; each Notify call is one line of `record`.
class FakeNotificationService {
public:
    FakeNotificationService(const std::string& program, const std::string& bus_address, std::string record)
        : record_(std::move(record))
    {
        std::ofstream{record_};
        service_ = std::make_unique<ChildProcess>(std::vector<std::string>{program, record_},
                                                  std::vector<std::string>{"DBUS_SESSION_BUS_ADDRESS=" + bus_address});
        ready_ = service_->started() && service_->read_line(std::chrono::seconds(20)) == "ready";
    }

    bool ready() const { return ready_; }

    // The Notify calls so far: app name, summary, body and urgency, tab-separated.
    std::vector<std::string> calls() const
    {
        std::vector<std::string> lines;
        std::ifstream in(record_);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    // Waits until at least `count` calls came; false when time ran out.
    bool wait_for_calls(std::size_t count, std::chrono::seconds limit = std::chrono::seconds(30)) const
    {
        for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
            if (calls().size() >= count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return calls().size() >= count;
    }

private:
    std::string record_;
    std::unique_ptr<ChildProcess> service_;
    bool ready_ = false;
};

} // namespace testsupport
