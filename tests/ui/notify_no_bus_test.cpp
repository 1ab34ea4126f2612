// The window's run on a desktop without a session bus: the runs succeed, and the journal
// says once that the desktop could not be told.

#include "Notify_test_support.h"

#include "extract/Regrarclass.h"

#include <QFile>

class NotifyNoBusTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { set_archiver_path(DRAVINEX_ARCHIVER); }

    void runs_without_a_bus_succeed_and_the_journal_says_so_once()
    {
        ui_test::Folders folders;
        notify_test::write_package(folders.in() + QStringLiteral("a.zreg"), testkit::one_record_package("12"));
        notify_test::write_package(folders.in() + QStringLiteral("bad.zreg"), notify_test::damaged);
        TDravinexMainForm form(program_folders(folders.home().toStdString()), QStringList{});
        form.show();
        QVERIFY(notify_test::run_window(form));
        notify_test::write_package(folders.in() + QStringLiteral("b.zreg"), testkit::one_record_package("14"));
        QVERIFY(notify_test::run_window(form));

        for (const char* well : {"12", "14"})
            QVERIFY(QFile::exists(folders.store() + QStringLiteral("Северная/%1/1.realtim").arg(QLatin1String(well))));
        QVERIFY(ui_test::wait_for([&] { return form.notifier().waiting() == 0; }));
        QCOMPARE(notify_test::journal_lines_with(form, QStringLiteral("Уведомление рабочего стола не показано")), 1);
    }
};

int main(int argc, char** argv)
{
    ui_test::prepare_session();
    // No bus: no address, a runtime folder without one, and no display to start one for.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("DISPLAY");
    QApplication application(argc, argv);
    install_russian_translations(application);
    NotifyNoBusTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "notify_no_bus_test.moc"
