#pragma once
// Opening any data file the model reads, by its name: the command line's dump and export
// and the log viewer load files the same way through here.
//
// Errors are those of the loads (FileStorageException, lib::io::FileError); what was read
// before an error stays in the model, as the loads leave it.

#include <optional>
#include <string>

class FileStorage;

namespace data_file {

// What a file is indexed by when shown as a log: depth files by depth, the rest by time.
enum class IndexKind { time, depth };

// Reads `path` into `model`: with a form version, the compressed column-file set whose base
// path it is (x.realtim for x.realtim.params ...); a single compressed stream for *.compr1
// and *.newcompr1; else a classic or real-time file by its extension.
void load(FileStorage& model, const std::string& path, std::optional<int> form_version = std::nullopt);

// The index of the file kind: .dep .realdep .ldp .reallag .incldep are depth files; a
// compressed stream or set is judged by the name it rebuilds (x.realdep.compr1 is depth).
IndexKind index_kind_of(const std::string& path);

} // namespace data_file
