// Desktop notifications over the session bus with sd-bus.

#include "platform/Notifications.h"

#include "platform/File.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdint>
#include <memory>

namespace platform {

namespace {

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

// sd_bus_error owns the strings it may carry.
class BusError {
public:
    BusError() = default;
    ~BusError() { sd_bus_error_free(&error_); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    sd_bus_error* get() { return &error_; }
    bool answered() const { return sd_bus_error_is_set(&error_) != 0; }
    std::string name() const { return error_.name ? error_.name : ""; }

private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

int append_call(sd_bus_message* call, const DesktopNotification& notification)
{
    const std::string body = notification_markup(notification.body);
    int r = sd_bus_message_append(call, "susss", notification.app_name.c_str(), std::uint32_t{0},
                                  notification.icon.c_str(), notification.title.c_str(), body.c_str());
    if (r >= 0)
        r = sd_bus_message_append(call, "as", 0);
    const std::uint8_t urgency =
        notification.critical ? notification_service::urgency_critical : notification_service::urgency_normal;
    if (r >= 0 && notification.desktop_entry.empty())
        r = sd_bus_message_append(call, "a{sv}", 1, "urgency", "y", urgency);
    else if (r >= 0)
        r = sd_bus_message_append(call, "a{sv}", 2, "urgency", "y", urgency, "desktop-entry", "s",
                                  notification.desktop_entry.c_str());
    if (r >= 0)
        r = sd_bus_message_append(call, "i", std::int32_t{-1}); // the server's own display time
    return r;
}

// sd-bus says ENOMEDIUM when neither a bus address nor a runtime folder is set.
std::string bus_error_text(int error)
{
    if (error == ENOMEDIUM)
        return notification_text::no_bus_address;
    return error_text(error);
}

} // namespace

std::string service_error_text(std::string_view error_name)
{
    const std::pair<std::string_view, const char*> known[] = {
        {"org.freedesktop.DBus.Error.ServiceUnknown", "её нет на этом рабочем столе"},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", "её нет на этом рабочем столе"},
        {"org.freedesktop.DBus.Error.NoReply", "она не ответила вовремя"},
        {"org.freedesktop.DBus.Error.Timeout", "она не ответила вовремя"},
        {"org.freedesktop.DBus.Error.TimedOut", "она не ответила вовремя"},
        {"org.freedesktop.DBus.Error.AccessDenied", "доступ к ней запрещён"},
        {"org.freedesktop.DBus.Error.Disconnected", "соединение с шиной прервано"},
    };
    for (const auto& [name, text] : known) {
        if (error_name == name)
            return text;
    }
    return "она ответила ошибкой " + std::string(error_name.empty() ? "без имени" : error_name);
}

std::string notification_markup(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string send_desktop_notification(const DesktopNotification& notification)
{
    sd_bus* opened = nullptr;
    int r = sd_bus_open_user(&opened);
    if (r < 0)
        return notification_text::no_session_bus + bus_error_text(-r);
    const Bus bus(opened);
    sd_bus_set_method_call_timeout(bus.get(), std::uint64_t{notification_service::call_timeout_ms} * 1000);

    sd_bus_message* made = nullptr;
    r = sd_bus_message_new_method_call(bus.get(), &made, notification_service::name, notification_service::object,
                                       notification_service::name, notification_service::method);
    if (r < 0)
        return notification_text::no_session_bus + error_text(-r);
    const Message call(made);
    r = append_call(call.get(), notification);
    if (r < 0)
        return notification_text::service_failed + error_text(-r);

    BusError error;
    sd_bus_message* reply = nullptr;
    r = sd_bus_call(bus.get(), call.get(), 0, error.get(), &reply);
    const Message answer(reply);
    if (r >= 0)
        return {};
    // An error from the bus (no such service) or none at all (no bus to connect to).
    if (error.answered())
        return notification_text::service_failed + service_error_text(error.name());
    return notification_text::no_session_bus + bus_error_text(-r);
}

} // namespace platform
