#pragma once
// A second process that holds a file open (and locked) for a while, to test what another
// program's lock does to our opens.

#include "lib/io/Binary_io.h"

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

class LockHolder {
public:
    LockHolder(const std::string& path, lib::io::OpenMode mode, bool lock, std::chrono::milliseconds hold)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            char ready = 1;
            try {
                lib::io::OSFile file;
                file.open(path, mode, lock);
                (void)!::write(fds[1], &ready, 1);
                std::this_thread::sleep_for(hold);
            }
            catch (...) {
                ready = 0;
                (void)!::write(fds[1], &ready, 1);
            }
            ::_exit(0);
        }
        ::close(fds[1]);
        char ready = 0;
        if (::read(fds[0], &ready, 1) != 1 || ready != 1) {
            ::close(fds[0]);
            ::waitpid(pid_, nullptr, 0);
            throw std::runtime_error("the holder could not open the file");
        }
        ::close(fds[0]);
    }
    ~LockHolder()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    pid_t pid_ = -1;
};

} // namespace testsupport
