#pragma once
// The one way files of a package reach the store, so that a crash, a full disk or a failed
// flush leaves each target either as it was or whole in its new version, and says so.
//
// FilePlacement owns the whole life of a package's files: each new file is staged (left
// where it lies when a rename can move it, else copied under a temporary name beside its
// target), each well file that received records at its end is handed over still open and
// locked; then all of them are flushed together, each once and on its own descriptor, each
// is asked what its close would say, new files are renamed into place (or kept out when
// another run placed one first), and every folder that received a file or a new folder is
// flushed once. A file whose flush, close, rename or folder flush fails is reported in its
// outcome: a staged file is then never renamed into place, an appended tail is cut back to
// the file's old length under its lock. Errors are lib::io::FileError.

#include "lib/io/File_replacement.h"
#include "lib/io/Locked_file.h"
#include "platform/File.h"

#include <boost/noncopyable.hpp>

#include <exception>
#include <functional>
#include <memory>
#include <set>
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
    // A file that received records at its end and is still held locked: its flush joins the
    // staged files' one (its outcome has neither placed nor existed set). `on_flushed` runs
    // only once the records are on disk; on failure the tail is cut off again.
    void add_appended(std::unique_ptr<LockedFile> file, std::function<void()> on_flushed = {});
    // A folder this package made (an area or a well): its name is made durable with the
    // files, by a flush of the folder that holds it.
    void add_new_folder(const std::string& folder);
    // Flushes every staged file, renames each into place and flushes the folders; one
    // file's failure does not keep the others out. The staged list is empty afterwards.
    std::vector<Outcome> commit();

private:
    struct Staged {
        std::string from;
        std::string to;
        Existing existing = Existing::replace;
        platform::UniqueFd fd;                 // a file moved by rename, held open until renamed
        std::unique_ptr<FileReplacement> copy; // set when the file was copied beside `to`
        std::unique_ptr<LockedFile> appended;  // set for a file that received records at its end
        std::function<void()> on_flushed;

        int flush_fd() const { return appended ? appended->fd() : copy ? copy->fd() : fd.get(); }
    };
    static void copy_beside_target(Staged& staged);
    static void rename_into_place(Staged& staged, Outcome& outcome);
    static void copy_after_failed_move(Staged& staged, Outcome& outcome);
    static void flush_files(std::vector<Staged>& staged, std::vector<Outcome>& outcomes);
    void flush_folders(const std::vector<Staged>& staged, std::vector<Outcome>& outcomes);

    std::vector<Staged> staged_;
    std::set<std::string> new_folders_;
};

} // namespace lib::io
