// The window's run tells the desktop of the well it filled and the package that failed,
// through org.freedesktop.Notifications on a private session bus with a fake service.

#include "Notify_test_support.h"

#include "core/support/Session_bus.h"
#include "core/support/TempDir.h"
#include "extract/Regrarclass.h"

namespace {

// Started before the application object, so that Qt's session bus is the private one.
struct PrivateDesktop {
    testsupport::TempDir dir;
    std::unique_ptr<testsupport::PrivateSessionBus> bus;
    std::unique_ptr<testsupport::FakeNotificationService> service;
    QString problem;

    PrivateDesktop()
    {
        if (testsupport::dbus_daemon_program().empty()) {
            problem = QStringLiteral("dbus-daemon is not installed (Debian package dbus-daemon)");
            return;
        }
        bus = std::make_unique<testsupport::PrivateSessionBus>(dir.file("bus"));
        if (bus->address().empty()) {
            problem = QStringLiteral("the private session bus did not start");
            return;
        }
        service = std::make_unique<testsupport::FakeNotificationService>(DRAVINEX_FAKE_NOTIFICATIONS, bus->address(),
                                                                         dir.file("calls.txt"));
        if (!service->ready())
            problem = QStringLiteral("the fake notification service did not start");
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(bus->address()));
    }
};

PrivateDesktop* desktop = nullptr;

} // namespace

class NotifyTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { set_archiver_path(DRAVINEX_ARCHIVER); }

    void a_run_tells_the_desktop_of_the_new_well_and_the_failed_package()
    {
        if (desktop->bus == nullptr || desktop->bus->address().empty())
            QSKIP(qPrintable(desktop->problem));
        QVERIFY2(desktop->problem.isEmpty(), qPrintable(desktop->problem));
        ui_test::Folders folders;
        notify_test::write_package(folders.in() + QStringLiteral("good.zreg"), testkit::one_record_package("12"));
        notify_test::write_package(folders.in() + QStringLiteral("bad.zreg"), notify_test::damaged);
        TDravinexMainForm form(program_folders(folders.home().toStdString()), QStringList{});
        form.show();
        QVERIFY(notify_test::run_window(form));

        QVERIFY(ui_test::wait_for([&] { return desktop->service->calls().size() >= 2; }));
        QVERIFY(ui_test::wait_for([&] { return form.notifier().waiting() == 0; }));
        const std::vector<std::string> calls = desktop->service->calls();
        QCOMPARE(calls.size(), std::size_t{2});
        QCOMPARE(QString::fromStdString(calls[0]), QStringLiteral("Dravinex\tНовые данные: 1 скважина\tСеверная/12\t1"));
        QVERIFY2(calls[1].starts_with("Dravinex\tОшибка распаковки: 1 пакет\tbad.zreg: "), calls[1].c_str());
        QVERIFY2(calls[1].ends_with("\t2"), calls[1].c_str());
        QCOMPARE(notify_test::journal_lines_with(form, QStringLiteral("не показано")), 0);
        // The journal holds it all too.
        QCOMPARE(notify_test::journal_lines_with(form, QStringLiteral("скважина \"12\", файл \"1.realtim\"")), 1);
    }
};

int main(int argc, char** argv)
{
    ui_test::prepare_session();
    PrivateDesktop private_desktop;
    desktop = &private_desktop;
    QApplication application(argc, argv);
    install_russian_translations(application);
    NotifyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "notify_test.moc"
