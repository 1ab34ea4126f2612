#pragma once
// What a person reads for a warning of a load. The readers leave their warnings in
// FileStorage::warnings as keys (msg_data_skips, ...), which scripts may rely on; the viewer
// and `dravinex-cli dump` show each key as a Russian sentence that says what happened to the
// file and what it means for its data. A warning that is not a key (the classic reader's
// messages) is a sentence already and is shown as it is.

#include <string>
#include <string_view>

namespace storage {

// The sentence for one entry of FileStorage::warnings.
std::string warning_text(std::string_view warning);

} // namespace storage
