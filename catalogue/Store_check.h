#pragma once
// A check of the data store: every data file is loaded, and what a reader, a killed run or
// a hand would leave wrong is reported; with repair, cut tails of real-time files are cut
// off and the temporary files of killed rewrites removed, nothing else.
//
// Runs on the caller's thread and may take long on a large store (it reads every data
// file); the window runs it off its GUI thread.

#include <atomic>
#include <string>
#include <vector>

namespace catalogue {

struct StoreFinding {
    enum Kind {
        reader_warnings, // the reader recovered from damage; detail names the warnings
        unreadable,      // the file could not be loaded; detail is the error
        cut_tail,        // a real-time file ends in a cut sector; detail is the bytes beyond the whole ones
        stale_index,     // the merge index entry no longer matches its file
        foreign_index,   // the merge index entry is of another file under that name (a copy, a replacement)
        leftover,        // a temporary file of a killed rewrite
        unseen,          // a file or folder the tree does not show
    };
    Kind kind;
    std::string path;
    std::string detail;
    bool repaired = false;
};

struct StoreReport {
    std::vector<StoreFinding> findings;
    int data_files = 0;
    bool stopped = false; // `stop` was set: the report covers only the files checked before
};

// `index_path`: the merge index of the home ("" for none). `stop`, when given, is looked at
// before every data file: a window that closes ends a long check within one file's read.
StoreReport check_store(const std::string& data_root, const std::string& index_path, bool repair,
                        const std::atomic<bool>* stop = nullptr);

// One line of the report in Russian: what was found, the file, and whether it was mended.
std::string describe_finding(const StoreFinding& finding);

// Whether a repair would mend the finding (and has not yet): a cut end is cut off, a killed
// writer's temporary file removed, an index entry that no longer matches forgotten.
bool repairable(const StoreFinding& finding);

} // namespace catalogue
