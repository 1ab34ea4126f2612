// A stand-in for the desktop's notification service, for tests: owns
// org.freedesktop.Notifications on the session bus that DBUS_SESSION_BUS_ADDRESS names and
// records every Notify call as one line of RECORD_FILE:
//
//     app name <TAB> summary <TAB> body <TAB> urgency
//
// with line breaks of the texts written as "\n". Prints "ready" on standard output once the
// name is owned, and runs until SIGTERM or SIGINT or until the bus goes away.

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include <signal.h>

namespace {

std::string one_line(const char* text)
{
    std::string out;
    for (const char* c = text; *c; ++c) {
        if (*c == '\n')
            out += "\\n";
        else if (*c == '\t')
            out += "\\t";
        else
            out += *c;
    }
    return out;
}

struct Service {
    std::FILE* record = nullptr;
    std::uint32_t last_id = 0;
};

// Reads the hints and keeps the urgency (a byte) when there is one.
int read_urgency(sd_bus_message* m, int& urgency)
{
    int r = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (r < 0)
        return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if ((r = sd_bus_message_read(m, "s", &key)) < 0)
            return r;
        if (std::string(key) == "urgency") {
            std::uint8_t value = 0;
            if ((r = sd_bus_message_read(m, "v", "y", &value)) < 0)
                return r;
            urgency = value;
        }
        else if ((r = sd_bus_message_skip(m, "v")) < 0)
            return r;
        if ((r = sd_bus_message_exit_container(m)) < 0)
            return r;
    }
    if (r < 0)
        return r;
    return sd_bus_message_exit_container(m);
}

int on_notify(sd_bus_message* m, void* userdata, sd_bus_error* /*error*/)
{
    auto& service = *static_cast<Service*>(userdata);
    const char* app = nullptr;
    const char* icon = nullptr;
    const char* summary = nullptr;
    const char* body = nullptr;
    std::uint32_t replaces = 0;
    int r = sd_bus_message_read(m, "susss", &app, &replaces, &icon, &summary, &body);
    if (r < 0)
        return r;
    if ((r = sd_bus_message_skip(m, "as")) < 0)
        return r;
    int urgency = -1;
    if ((r = read_urgency(m, urgency)) < 0)
        return r;
    std::int32_t timeout = 0;
    if ((r = sd_bus_message_read(m, "i", &timeout)) < 0)
        return r;
    std::fprintf(service.record, "%s\t%s\t%s\t%d\n", one_line(app).c_str(), one_line(summary).c_str(),
                 one_line(body).c_str(), urgency);
    std::fflush(service.record);
    return sd_bus_reply_method_return(m, "u", ++service.last_id);
}

int on_capabilities(sd_bus_message* m, void*, sd_bus_error*)
{
    return sd_bus_reply_method_return(m, "as", 1, "body");
}

int on_information(sd_bus_message* m, void*, sd_bus_error*)
{
    return sd_bus_reply_method_return(m, "ssss", "fake-notifications", "Dravinex tests", "1", "1.2");
}

int on_close(sd_bus_message* m, void*, sd_bus_error*)
{
    return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable service_vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", on_notify, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetCapabilities", "", "as", on_capabilities, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetServerInformation", "", "ssss", on_information, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("CloseNotification", "u", "", on_close, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

int fail(const char* what, int r)
{
    std::fprintf(stderr, "fake-notifications: %s: error %d\n", what, -r);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fake-notifications RECORD_FILE\n");
        return 2;
    }
    Service service;
    service.record = std::fopen(argv[1], "a");
    if (!service.record)
        return fail("cannot open the record file", 1);

    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    sigprocmask(SIG_BLOCK, &stop_signals, nullptr);

    sd_event* event = nullptr;
    int r = sd_event_default(&event);
    if (r < 0)
        return fail("sd_event_default", r);
    sd_event_add_signal(event, nullptr, SIGTERM, nullptr, nullptr);
    sd_event_add_signal(event, nullptr, SIGINT, nullptr, nullptr);

    sd_bus* bus = nullptr;
    if ((r = sd_bus_open_user(&bus)) < 0)
        return fail("sd_bus_open_user", r);
    if ((r = sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                      service_vtable, &service))
        < 0)
        return fail("sd_bus_add_object_vtable", r);
    if ((r = sd_bus_request_name(bus, "org.freedesktop.Notifications", 0)) < 0)
        return fail("sd_bus_request_name", r);
    // The bus going away ends the loop too.
    sd_bus_set_exit_on_disconnect(bus, 1);
    if ((r = sd_bus_attach_event(bus, event, SD_EVENT_PRIORITY_NORMAL)) < 0)
        return fail("sd_bus_attach_event", r);
    std::printf("ready\n");
    std::fflush(stdout);

    r = sd_event_loop(event);
    sd_bus_flush_close_unref(bus);
    sd_event_unref(event);
    std::fclose(service.record);
    return r < 0 ? fail("sd_event_loop", r) : 0;
}
