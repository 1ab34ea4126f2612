// dravinex-cli watch --notify: the desktop hears of new wells and failed packages through
// org.freedesktop.Notifications on the session bus, here a private bus with a fake service;
// without a bus the watch does its work as before and says so once.

#include "Watch_process.h"

#include "core/support/Session_bus.h"
#include "core/support/TempDir.h"
#include "testkit/Zreg_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

using namespace std::chrono_literals;
using clitest::WatchProcess;
using testkit::Bytes;
using testsupport::TempDir;

namespace {

const Bytes damaged = {1, 0, 0, 1, 'x'};

// Written aside and moved in together, so that the watch takes them as they are.
void drop_packages(const TempDir& dir, const std::vector<std::pair<std::string, Bytes>>& packages)
{
    std::filesystem::create_directories(dir.file("aside"));
    for (const auto& [name, bytes] : packages)
        testkit::write_file(dir.file("aside/" + name), bytes);
    for (const auto& [name, bytes] : packages)
        std::filesystem::rename(dir.file("aside/" + name), dir.file("in/" + name));
}

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

class WatchNotify : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (testsupport::dbus_daemon_program().empty())
            GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
        bus = std::make_unique<testsupport::PrivateSessionBus>(dir.file("bus"));
        ASSERT_FALSE(bus->address().empty());
        service = std::make_unique<testsupport::FakeNotificationService>(DRAVINEX_FAKE_NOTIFICATIONS, bus->address(),
                                                                         dir.file("calls.txt"));
        ASSERT_TRUE(service->ready());
    }

    TempDir dir;
    std::unique_ptr<testsupport::PrivateSessionBus> bus;
    std::unique_ptr<testsupport::FakeNotificationService> service;
};

} // namespace

TEST_F(WatchNotify, TheDesktopHearsOfTheNewWellAndTheFailedPackage)
{
    WatchProcess watch(dir, {"--notify"}, {"DBUS_SESSION_BUS_ADDRESS=" + bus->address()});
    ASSERT_TRUE(watch.wrote("Наблюдение за папкой")) << watch.err();
    drop_packages(dir, {{"good.zreg", testkit::one_record_package("12")}, {"bad.zreg", damaged}});
    ASSERT_TRUE(service->wait_for_calls(2)) << watch.err();
    ASSERT_TRUE(watch.wrote("bad.zreg\":")) << watch.out();
    EXPECT_EQ(watch.stop(), 0) << watch.err();

    const std::vector<std::string> calls = service->calls();
    ASSERT_EQ(calls.size(), 2u) << watch.err();
    const auto has = [&](const std::string& part) {
        return std::any_of(calls.begin(), calls.end(), [&](const std::string& call) { return call.find(part) != std::string::npos; });
    };
    EXPECT_TRUE(has("Dravinex\tНовые данные: 1 скважина\tСеверная/12\t1")) << calls[0] << "\n" << calls[1];
    EXPECT_TRUE(has("Dravinex\tОшибка распаковки: 1 пакет\tbad.zreg: ")) << calls[0] << "\n" << calls[1];
    // The journal still holds all of it.
    EXPECT_NE(watch.out().find("скважина \"12\", файл \"1.realtim\""), std::string::npos) << watch.out();
    EXPECT_EQ(watch.err().find("уведомление не показано"), std::string::npos) << watch.err();
}

TEST_F(WatchNotify, WithoutTheOptionTheDesktopHearsNothing)
{
    WatchProcess watch(dir, {}, {"DBUS_SESSION_BUS_ADDRESS=" + bus->address()});
    ASSERT_TRUE(watch.wrote("Наблюдение за папкой")) << watch.err();
    drop_packages(dir, {{"good.zreg", testkit::one_record_package("12")}});
    ASSERT_TRUE(watch.wrote("файл \"1.realtim\"")) << watch.err();
    EXPECT_EQ(watch.stop(), 0) << watch.err();
    EXPECT_TRUE(service->calls().empty());
}

// No bus (an address where nothing listens, no runtime folder) and a bus without the
// service: the packages are unpacked, the journal has them, and one line says why the
// desktop was not told.
TEST(WatchNotifyWithoutDesktop, TheRunsSucceedAndOneLineSaysWhy)
{
    TempDir outer;
    std::unique_ptr<testsupport::PrivateSessionBus> bus;
    if (!testsupport::dbus_daemon_program().empty())
        bus = std::make_unique<testsupport::PrivateSessionBus>(outer.folder());
    std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"no bus", {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + outer.file("no-bus"), "XDG_RUNTIME_DIR"}},
        {"no address at all", {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"}},
    };
    if (bus && !bus->address().empty())
        cases.push_back({"a bus without the service", {"DBUS_SESSION_BUS_ADDRESS=" + bus->address()}});
    for (const auto& [what, environment] : cases) {
        TempDir dir;
        WatchProcess watch(dir, {"--notify"}, environment);
        ASSERT_TRUE(watch.wrote("Наблюдение за папкой")) << what << ": " << watch.err();
        drop_packages(dir, {{"a.zreg", testkit::one_record_package("12")}, {"b.zreg", damaged}});
        ASSERT_TRUE(watch.wrote("b.zreg\":")) << what << ": " << watch.out();
        drop_packages(dir, {{"c.zreg", testkit::one_record_package("14")}});
        ASSERT_TRUE(watch.wrote("скважина \"14\"")) << what << ": " << watch.out();
        EXPECT_EQ(watch.stop(), 0) << what << ": " << watch.err();
        EXPECT_TRUE(std::filesystem::exists(dir.file("store/Северная/12/1.realtim"))) << what;
        EXPECT_TRUE(std::filesystem::exists(dir.file("store/Северная/14/1.realtim"))) << what;
        EXPECT_EQ(count_of(watch.err(), "уведомление не показано"), 1u) << what << ": " << watch.err();
    }
}
