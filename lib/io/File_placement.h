#pragma once
// Putting finished files into the store so that a crash leaves each target either as it
// was or whole in its new version: a file takes its name by rename only once it is on disk.
//
// FilePlacement does this for all the files of a package at once: each file is staged (left
// where it lies when a rename can move it, else copied under a temporary name beside its
// target), all staged files are flushed together, then each is renamed into place and every
// folder that received one is flushed once. Errors are lib::io::FileError.

#include "lib/io/File_replacement.h"
#include "platform/File.h"

#include <boost/noncopyable.hpp>

#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace lib::io {

// Copies a file through a temporary file and a rename, flushed before the rename.
void copy_file_replacing(const std::string& from, const std::string& to);
// Puts a file under `to`, replacing what is there: moved when both lie on one file system,
// copied otherwise; on disk before its name appears.
void place_file(const std::string& from, const std::string& to);

class FilePlacement : private boost::noncopyable {
public:
    // Whether a target that is there is replaced, or kept (another run placed it first).
    enum class Existing { replace, keep };

    struct Outcome {
        std::string from;
        std::string to;
        bool placed = false;
        bool existed = false;     // Existing::keep and a file was there: nothing done
        std::exception_ptr error; // set when the file could not be placed
    };

    FilePlacement();
    ~FilePlacement();

    // Stages `from` for `to`; throws when it cannot (nothing is staged for it then). A file
    // that would replace one of the same contents is passed over.
    void add(const std::string& from, const std::string& to, Existing existing);
    // A file written in place whose flush joins the staged files' one (its outcome has
    // neither placed nor existed set).
    void flush_with(const std::string& path);
    // Flushes every staged file, renames each into place and flushes the folders; one
    // file's failure does not keep the others out. The staged list is empty afterwards.
    std::vector<Outcome> commit();

private:
    struct Staged {
        std::string from;
        std::string to;
        Existing existing = Existing::replace;
        platform::UniqueFd fd;                // the file to flush, held open until renamed
        std::unique_ptr<FileReplacement> copy; // set when the file was copied beside `to`
        bool flush_only = false;
    };
    static void copy_beside_target(Staged& staged);
    static void rename_into_place(Staged& staged, Outcome& outcome);

    std::vector<Staged> staged_;
};

} // namespace lib::io
