// The texts of the desktop notifications of finished runs.

#include "extract/Run_notice.h"

#include "lib/Sys_utils.h"

#include <algorithm>

namespace {

// A notification is read at a glance: longer lists end with a count of the rest.
constexpr std::size_t max_wells_shown = 8;
constexpr std::size_t max_failures_shown = 4;
constexpr std::size_t max_reason_bytes = 160;

// The first line of a reason, cut at a whole UTF-8 character.
std::string short_reason(const std::string& reason)
{
    std::string line = reason.substr(0, reason.find('\n'));
    if (line.size() <= max_reason_bytes)
        return line;
    std::size_t cut = max_reason_bytes;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
        --cut;
    return line.substr(0, cut) + "…";
}

std::string lines_with_rest(const std::vector<std::string>& lines, std::size_t shown)
{
    std::string body;
    for (std::size_t i = 0; i < std::min(shown, lines.size()); ++i)
        body += (body.empty() ? "" : "\n") + lines[i];
    if (lines.size() > shown)
        body += "\n" + std::string(notice_text::and_more) + std::to_string(lines.size() - shown);
    return body;
}

std::vector<WellName> wells_of(const std::vector<ExtractResult>& results)
{
    std::vector<WellName> wells;
    for (const ExtractResult& result : results) {
        for (const WellName& well : result.new_data) {
            if (std::find(wells.begin(), wells.end(), well) == wells.end())
                wells.push_back(well);
        }
    }
    return wells;
}

std::vector<std::string> failure_lines(const std::vector<ExtractResult>& results)
{
    std::vector<std::string> lines;
    for (const ExtractResult& result : results) {
        for (const PackageFailure& failure : result.failures) {
            if (!failure.repeated)
                lines.push_back(lib::name_of(failure.package) + ": " + short_reason(failure.reason));
        }
    }
    return lines;
}

} // namespace

std::string count_of(int count, const char* one, const char* few, const char* many)
{
    const int tens = count % 100;
    const int units = count % 10;
    const char* noun = many;
    if (tens < 11 || tens > 14) {
        if (units == 1)
            noun = one;
        else if (units >= 2 && units <= 4)
            noun = few;
    }
    return std::to_string(count) + " " + noun;
}

std::vector<RunNotice> run_notices(const std::vector<ExtractResult>& results)
{
    std::vector<RunNotice> notices;
    const std::vector<WellName> wells = wells_of(results);
    if (!wells.empty()) {
        std::vector<std::string> lines;
        for (const WellName& well : wells)
            lines.push_back(well.area + "/" + well.well);
        notices.push_back({notice_text::new_data + count_of(static_cast<int>(wells.size()), "скважина", "скважины", "скважин"),
                           lines_with_rest(lines, max_wells_shown), false});
    }
    const std::vector<std::string> failures = failure_lines(results);
    if (!failures.empty()) {
        notices.push_back({notice_text::failed + count_of(static_cast<int>(failures.size()), "пакет", "пакета", "пакетов"),
                           lines_with_rest(failures, max_failures_shown), true});
    }
    return notices;
}

platform::DesktopNotification desktop_notification(const RunNotice& notice)
{
    platform::DesktopNotification notification;
    notification.app_name = notice_sender::app_name;
    notification.icon = notice_sender::desktop_id;
    notification.desktop_entry = notice_sender::desktop_id;
    notification.title = notice.title;
    notification.body = notice.body;
    notification.critical = notice.failure;
    return notification;
}
