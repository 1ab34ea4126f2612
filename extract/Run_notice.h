#pragma once
// What a desktop notification says about finished runs: which wells received new data,
// and which packages failed and why. The watch and the window send these texts, each
// through its own D-Bus client; nothing here talks to the desktop.

#include "extract/Extract_job.h"
#include "platform/Notifications.h"

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

// The sender the desktop shows: our name, and the desktop entry that gives the icon.
namespace notice_sender {
inline constexpr const char* app_name = "Dravinex";
inline constexpr const char* desktop_id = "ru.korvimeta.Dravinex";
} // namespace notice_sender

// At most one notice of new data (all wells of the runs in one) and one of failures, in
// that order; nothing for runs that found nothing new. A failure repeated unchanged is left
// out, as its error box is: the user has been told already.
std::vector<RunNotice> run_notices(const std::vector<ExtractResult>& results);

// "1 скважина", "3 скважины", "11 скважин": the count with the noun in its Russian form.
std::string count_of(int count, const char* one, const char* few, const char* many);

// The notice as the notification call carries it, from our sender; a failure is critical,
// so that it stays until read.
platform::DesktopNotification desktop_notification(const RunNotice& notice);
