#pragma once
// The first sectors of a real-time file, read for a quick look while the whole file is still
// being read: the log viewer draws them at once instead of waiting a second for 200 MB.

#include <cstddef>
#include <string>

class FileStorage;

namespace storage {

// Reads the sectors of a real-time file (by its extension) that lie within its first `bytes`,
// cut where a sector ends, into an empty `model`: what a whole read finds in those sectors,
// nothing of the sectors after them. True when something was read. False, with the model to
// be dropped, for a file of another form, a file no longer than `bytes` (the whole read is
// as quick), a stretch whose headers do not lead cleanly from one sector to the next or
// whose read warns (a damaged start, which only the whole read judges rightly), and a file
// that cannot be opened.
bool load_realtime_prefix(FileStorage& model, const std::string& path, std::size_t bytes);

} // namespace storage
