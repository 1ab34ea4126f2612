#pragma once
// Desktop notifications through the freedesktop service org.freedesktop.Notifications on
// the user's session bus (sd-bus of libsystemd). For the programs without Qt; the window
// sends the same call through Qt D-Bus.
//
// The session bus is the one DBUS_SESSION_BUS_ADDRESS names, else $XDG_RUNTIME_DIR/bus;
// a bus is never started for us. Each call connects, sends, waits at most a few seconds for
// the answer and disconnects, so that a restarted desktop never leaves a dead connection
// behind. Nothing here throws; a notification that could not be shown says why.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The service as both senders call it: this one over sd-bus, the window's over Qt D-Bus.
namespace notification_service {
inline constexpr const char* name = "org.freedesktop.Notifications";
inline constexpr const char* object = "/org/freedesktop/Notifications";
inline constexpr const char* method = "Notify";
// A service that hangs must not hold up a watch or the window for long.
inline constexpr int call_timeout_ms = 3000;
inline constexpr std::uint8_t urgency_normal = 1;
inline constexpr std::uint8_t urgency_critical = 2;
} // namespace notification_service

struct DesktopNotification {
    std::string app_name;      // shown by the desktop as the sender
    std::string icon;          // an icon name of the theme, or ""
    std::string desktop_entry; // the program's desktop file without ".desktop", or ""
    std::string title;         // plain text
    std::string body;          // plain text; escaped here for servers that read markup
    bool critical = false;     // urgency "critical" instead of "normal"
};

// "" when the notification service took it, else the reason it was not shown (Russian).
std::string send_desktop_notification(const DesktopNotification& notification);

// The body as the notification protocol's markup: '&', '<' and '>' escaped, so that a
// well or package name holding them shows as it is.
std::string notification_markup(std::string_view text);

namespace notification_text {
inline constexpr const char* no_session_bus = "нет сеансовой шины D-Bus: ";
inline constexpr const char* no_bus_address = "не заданы ни DBUS_SESSION_BUS_ADDRESS, ни XDG_RUNTIME_DIR";
inline constexpr const char* service_failed = "служба уведомлений рабочего стола недоступна: ";
} // namespace notification_text

// Our own words for a D-Bus error of the notification call, by the error's name (the
// service's own text is English): "её нет на этом рабочем столе", ...
std::string service_error_text(std::string_view error_name);

} // namespace platform
