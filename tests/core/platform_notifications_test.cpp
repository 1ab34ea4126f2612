// Desktop notifications over the session bus: a private bus with a fake notification
// service, a bus without one, and no bus at all.

#include "platform/Notifications.h"
#include "support/Scoped_env.h"
#include "support/Session_bus.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

using testsupport::ScopedEnv;

namespace {

platform::DesktopNotification notification(bool critical)
{
    return {"Dravinex", "ru.korvimeta.Dravinex", "ru.korvimeta.Dravinex", "Новые данные: 1 скважина",
            "Северная/12\nR&D <1>", critical};
}

} // namespace

TEST(DesktopNotification, BodyMarkupEscapesOnlyWhatMarkupReads)
{
    EXPECT_EQ(platform::notification_markup("Скв. <7> & \"Южное\" 'x'"), "Скв. &lt;7&gt; &amp; \"Южное\" 'x'");
}

TEST(DesktopNotification, TheServiceReceivesTitleBodyAndUrgency)
{
    if (testsupport::dbus_daemon_program().empty())
        GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
    testsupport::TempDir dir;
    testsupport::PrivateSessionBus bus(dir.folder());
    ASSERT_FALSE(bus.address().empty());
    testsupport::FakeNotificationService service(DRAVINEX_FAKE_NOTIFICATIONS, bus.address(), dir.file("calls.txt"));
    ASSERT_TRUE(service.ready());
    const ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", bus.address());

    EXPECT_EQ(platform::send_desktop_notification(notification(false)), "");
    EXPECT_EQ(platform::send_desktop_notification(notification(true)), "");
    ASSERT_TRUE(service.wait_for_calls(2));
    const std::string body = "Северная/12\\nR&amp;D &lt;1&gt;";
    EXPECT_EQ(service.calls(), (std::vector<std::string>{"Dravinex\tНовые данные: 1 скважина\t" + body + "\t1",
                                                          "Dravinex\tНовые данные: 1 скважина\t" + body + "\t2"}));
}

// Nothing breaks without the service or the bus: the call says why, at once.
TEST(DesktopNotification, WithoutServiceOrBusTheCallSaysWhy)
{
    testsupport::TempDir dir;
    std::optional<testsupport::PrivateSessionBus> bus;
    if (!testsupport::dbus_daemon_program().empty())
        bus.emplace(dir.folder());
    struct Case {
        const char* what;
        std::optional<std::string> address;
        std::optional<std::string> runtime_dir;
        std::string said;
    };
    std::vector<Case> cases = {
        {"a bus address where nothing listens", "unix:path=" + dir.file("no-bus"), std::nullopt,
         platform::notification_text::no_session_bus},
        {"no address and no runtime folder", std::nullopt, std::nullopt,
         std::string(platform::notification_text::no_session_bus) + platform::notification_text::no_bus_address},
        {"no address, a runtime folder without a bus", std::nullopt, dir.folder(),
         platform::notification_text::no_session_bus},
    };
    if (bus && !bus->address().empty())
        cases.push_back({"a bus without a notification service", bus->address(), std::nullopt,
                         std::string(platform::notification_text::service_failed) + "её нет на этом рабочем столе"});
    for (const Case& c : cases) {
        const ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", c.address);
        const ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime_dir);
        const std::string why = platform::send_desktop_notification(notification(false));
        EXPECT_TRUE(why.starts_with(c.said)) << c.what << ": " << why;
    }
}
