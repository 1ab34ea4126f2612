#pragma once
// What a desktop notification says about finished runs: which wells received new data,
// and which packages failed and why. The watch and the window send these texts, each
// through its own D-Bus client; nothing here talks to the desktop.

#include "extract/Extract_job.h"

#include <string>
#include <vector>

struct RunNotice {
    std::string title;
    std::string body; // plain text, one line per well or package
    bool failure = false;
};

namespace notice_text {
inline constexpr const char* new_data = "Новые данные: ";
inline constexpr const char* failed = "Ошибка распаковки: ";
inline constexpr const char* and_more = "и ещё ";
} // namespace notice_text

// At most one notice of new data (all wells of the runs in one) and one of failures, in
// that order; nothing for runs that found nothing new. A failure repeated unchanged is left
// out, as its error box is: the user has been told already.
std::vector<RunNotice> run_notices(const std::vector<ExtractResult>& results);

// "1 скважина", "3 скважины", "11 скважин": the count with the noun in its Russian form.
std::string count_of(int count, const char* one, const char* few, const char* many);
