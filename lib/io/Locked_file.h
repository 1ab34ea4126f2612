#pragma once
// A file of the store that receives records at its end, held open and locked from the read
// of its end to the flush of what was appended, so that no other run (of this machine or of
// another that shares the store) reads it in between.
//
// The lock is a POSIX record lock on the whole file, which holds between machines on NFS v4
// and SMB, and, unless the folder asks for none, a local whole-file lock as every reader
// takes. Both go with the descriptor, so a killed run leaves nothing behind. Errors are
// lib::io::FileError.

#include "platform/File.h"

#include <boost/noncopyable.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace lib::io {

class LockedFile : private boost::noncopyable {
public:
    // Opens a file that is there for reading and writing and waits for its record lock.
    // With local_lock false (the folder's ".nolocking") the whole-file lock is not taken.
    LockedFile(std::string path, bool local_lock);
    // A tail appended and never flushed is cut off again: it was never promised to anyone.
    ~LockedFile();

    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }

    struct Bytes {
        std::unique_ptr<char[]> data;
        std::size_t size = 0;
    };
    // The whole contents, into memory that is not cleared first: a well file is large, and
    // clearing it would touch every page once more than the read does.
    Bytes read_all() const { return read_from(0); }
    // What lies from `offset` to the end (nothing when the file is shorter).
    Bytes read_from(std::uint64_t offset) const;

    // Writes `size` bytes at `at`, cutting off whatever lay beyond it first. On a write
    // error the file is cut back to the length it had before the first append (or to `at`
    // when that is shorter: the torn end of a killed run is not restored).
    void append_at(std::uint64_t at, const char* data, std::size_t size);
    // Whether something was appended (or cut) and not yet flushed.
    bool pending() const { return kept_length_.has_value(); }

    // Flushes what was appended on this very descriptor and asks what a close would say.
    // On failure the file is cut back to its old length, under the lock still held, and the
    // error thrown: a failed flush is never retried, since the system reports it only once.
    void flush();
    // The same, reporting instead of throwing: 0 or the errno value.
    int flush_or_cut_back() noexcept;
    // For a caller that flushed this descriptor itself (with other files): the tail is on
    // disk and stays.
    void flushed() { kept_length_.reset(); }

private:
    [[noreturn]] void fail_and_cut(int error);
    void cut_back() noexcept;

    std::string path_;
    platform::UniqueFd fd_;
    std::optional<std::uint64_t> kept_length_; // the length before the first append
};

} // namespace lib::io
