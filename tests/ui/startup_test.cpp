// The copies of the window program as real processes: the first copy, forwarding copies
// with and without a package, a second full copy when no window is recorded, and the
// hand-off of packages to the running copy; the command line of the first copy.

#include "Ui_test_support.h"

#include "app/Handoff.h"
#include "app/Window_run.h"
#include "ui/Main.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTimer>

#include <limits>
#include <memory>
#include <stdexcept>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QString samples_folder()
{
    static QTemporaryDir folder;
    static const bool written = QProcess::execute(QStringLiteral(DRAVINEX_SAMPLES), {folder.path()}) == 0;
    return written ? folder.path() + QLatin1Char('/') : QString();
}

QString sample_zreg(int run)
{
    return samples_folder() + QStringLiteral("Северная_12_рейс%1.zreg").arg(run);
}

qint64 stored_handle(const ui_test::Folders& folders)
{
    return read_stored_handle((folders.home() + QStringLiteral(".handle")).toStdString());
}

class Copy {
public:
    Copy(const ui_test::Folders& folders, const QStringList& arguments)
    {
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral(DRAVINEX_EXE), QStringList{QStringLiteral("--home"), folders.home()} + arguments);
        process.waitForStarted();
    }
    ~Copy()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    bool ends_with_zero() { return process.waitForFinished(ui_test::wait_ms) && process.exitCode() == 0; }

    QProcess process;
};

// A window copy that runs and listens.
bool started_as_window(Copy& copy, const ui_test::Folders& folders)
{
    return ui_test::wait_for([&] {
        return copy.process.state() == QProcess::Running && stored_handle(folders) == copy.process.processId()
            && QFile::exists(hand_off_server_name(copy.process.processId()));
    });
}

bool in_store(const ui_test::Folders& folders, const QString& name)
{
    return ui_test::wait_for([&] { return QFile::exists(folders.store() + name); });
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(!samples_folder().isEmpty()); }

    void a_window_that_cannot_be_built_ends_the_program_with_1_after_its_box()
    {
        ui_test::MessageBoxAnswerer answerer(QMessageBox::Ok);
        const int status =
            run_main_window([]() -> std::unique_ptr<QWidget> { throw std::runtime_error("нет папки программы"); });
        QCOMPARE(status, 1);
        QCOMPARE(answerer.texts, QStringList{QStringLiteral("нет папки программы")});
    }

    void the_program_ends_with_the_status_of_its_event_loop()
    {
        const int status = run_main_window([] {
            QTimer::singleShot(0, [] { QCoreApplication::exit(3); });
            return std::make_unique<QWidget>();
        });
        QCOMPARE(status, 3);
    }

    void a_forwarding_copy_hands_its_package_to_the_running_copy()
    {
        ui_test::Folders folders;
        Copy first(folders, {});
        QVERIFY(started_as_window(first, folders));

        Copy forwarding(folders, {sample_zreg(1)});
        QVERIFY(forwarding.ends_with_zero());
        // A handed-over package is placed like every other: under its area and well.
        QVERIFY(in_store(folders, QStringLiteral("Северная/12/0001.rac")));
        QCOMPARE(first.process.state(), QProcess::Running);
    }

    void handed_over_packages_of_two_wells_land_each_in_its_own_well()
    {
        ui_test::Folders folders;
        Copy first(folders, {});
        QVERIFY(started_as_window(first, folders));

        Copy north(folders, {samples_folder() + QStringLiteral("Северная_12_рейс1.zreg")});
        QVERIFY(north.ends_with_zero());
        QVERIFY(in_store(folders, QStringLiteral("Северная/12/well.realtim")));
        Copy south(folders, {samples_folder() + QStringLiteral("Южная_7_рейс1.zreg")});
        QVERIFY(south.ends_with_zero());
        QVERIFY(in_store(folders, QStringLiteral("Южная/7/well.realtim")));
        // Nothing at the store's root: one well's records never go into another's files.
        for (const QString& name : {QStringLiteral("well.realtim"), QStringLiteral("inpgti.ini")})
            QVERIFY2(!QFile::exists(folders.store() + name), qPrintable(name));
        QVERIFY(in_store(folders, QStringLiteral("Южная/7/inpgti.ini")));
        QVERIFY(QFile::exists(folders.store() + QStringLiteral("Северная/12/inpgti.ini")));
    }

    void help_is_printed_not_taken_for_a_package()
    {
        ui_test::Folders folders;
        QProcess help;
        help.start(QStringLiteral(DRAVINEX_EXE), {QStringLiteral("--help")});
        QVERIFY(help.waitForFinished(ui_test::wait_ms));
        QCOMPARE(help.exitCode(), 0);
        QVERIFY(QString::fromUtf8(help.readAllStandardOutput()).startsWith(QStringLiteral("Использование:")));
    }

    void a_forwarding_copy_without_argument_only_wakes_the_running_copy()
    {
        ui_test::Folders folders;
        Copy first(folders, {});
        QVERIFY(started_as_window(first, folders));

        Copy forwarding(folders, {});
        QVERIFY(forwarding.ends_with_zero());
        QCOMPARE(QFileInfo(folders.home() + QStringLiteral(".files")).size(), 0);
        QVERIFY(!QDir(folders.store()).exists());
    }

    void a_package_that_cannot_be_queued_is_reported_and_the_forwarding_copy_fails()
    {
        ui_test::Folders folders;
        Copy first(folders, {});
        QVERIFY(started_as_window(first, folders));
        // ".files" as a folder: nothing can be appended to it.
        QVERIFY(QDir().mkpath(folders.home() + QStringLiteral(".files")));

        QProcess forwarding;
        forwarding.start(QStringLiteral(DRAVINEX_EXE), {QStringLiteral("--home"), folders.home(), sample_zreg(1)});
        QVERIFY(forwarding.waitForFinished(ui_test::wait_ms));
        QCOMPARE(forwarding.exitStatus(), QProcess::NormalExit);
        QCOMPARE(forwarding.exitCode(), 1);
        const QString said = QString::fromUtf8(forwarding.readAllStandardError());
        QVERIFY2(said.contains(QStringLiteral("не передан работающей копии")) && said.contains(sample_zreg(1)),
                 qPrintable(said));
        QCOMPARE(first.process.state(), QProcess::Running);
        QVERIFY(!QDir(folders.store()).exists());
    }

    void two_forwarding_copies_at_once_lose_no_package()
    {
        ui_test::Folders folders;
        Copy first(folders, {});
        QVERIFY(started_as_window(first, folders));

        Copy one(folders, {sample_zreg(1)});
        Copy two(folders, {sample_zreg(2)});
        QVERIFY(one.ends_with_zero());
        QVERIFY(two.ends_with_zero());
        QVERIFY(in_store(folders, QStringLiteral("Северная/12/0001.rac")));
        QVERIFY(in_store(folders, QStringLiteral("Северная/12/0002.rac")));
    }

    void a_copy_finding_no_recorded_window_starts_as_a_second_full_copy()
    {
        ui_test::Folders folders;
        Copy first(folders, {});
        QVERIFY(started_as_window(first, folders));
        QVERIFY(write_stored_handle((folders.home() + QStringLiteral(".handle")).toStdString(), 0));

        Copy second(folders, {});
        QVERIFY(started_as_window(second, folders));
        QCOMPARE(first.process.state(), QProcess::Running);
    }

    void a_killed_copy_leaves_nothing_that_stops_the_next_one()
    {
        ui_test::Folders folders;
        qint64 killed_pid = 0;
        {
            Copy crashed(folders, {});
            QVERIFY(started_as_window(crashed, folders));
            killed_pid = crashed.process.processId();
            crashed.process.kill();
            crashed.process.waitForFinished();
        }
        // Its socket and its ".handle" stay behind, but the guard went with the process.
        QVERIFY(QFile::exists(hand_off_server_name(killed_pid)));
        Copy next(folders, {});
        QVERIFY(started_as_window(next, folders));
        Copy forwarding(folders, {sample_zreg(1)});
        QVERIFY(forwarding.ends_with_zero());
        QVERIFY(in_store(folders, QStringLiteral("Северная/12/0001.rac")));
    }

    void a_stale_socket_of_the_same_process_id_is_replaced()
    {
        const QString name = hand_off_server_name(::getpid());
        {
            // A socket file nobody listens on, as a crashed copy leaves it.
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const QByteArray path = QFile::encodeName(name);
            std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
            QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
            ::close(fd);
        }
        QVERIFY(QFile::exists(name));
        HandOffServer server;
        QVERIFY2(server.listen(::getpid()), qPrintable(server.error_text()));
        int messages = 0;
        connect(&server, &HandOffServer::handOff, [&] { ++messages; });
        QLocalSocket socket;
        socket.connectToServer(name);
        QVERIFY(socket.waitForConnected(ui_test::wait_ms));
        socket.write("2026\n");
        socket.flush();
        QVERIFY(ui_test::wait_for([&] { return messages == 1; }));
    }

    void a_hand_off_to_a_copy_that_is_gone_leaves_no_path_behind()
    {
        ui_test::Folders folders;
        const std::string files = (folders.home() + QStringLiteral(".files")).toStdString();
        // Nobody listens for this id: the recorded copy ended without removing ".handle".
        forward_to_running_copy(std::numeric_limits<std::int32_t>::max(), files, {sample_zreg(1).toStdString()});
        QVERIFY(!QFile::exists(QString::fromStdString(files)));
    }

    void command_line_destinations_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("destination"); // beside the package; empty: no run
        const QString package = sample_zreg(1);
        QTest::newRow("package and a name") << QStringList{package, QStringLiteral("Мои данные")}
                                            << QStringLiteral("Мои данные/");
        QTest::newRow("package alone") << QStringList{package} << QStringLiteral("GTI_Data/");
        QTest::newRow("package and an empty name") << QStringList{package, QString()} << QStringLiteral("GTI_Data/");
        QTest::newRow("three arguments") << QStringList{package, QStringLiteral("a"), QStringLiteral("b")}
                                         << QStringLiteral("GTI_Data/");
        // The run says that the package is missing, in the journal.
        QTest::newRow("a missing package") << QStringList{samples_folder() + QStringLiteral("нет.zreg")}
                                           << QStringLiteral("GTI_Data/");
        QTest::newRow("a name that is a path") << QStringList{package, QStringLiteral("/tmp/x")} << QString();
        QTest::newRow("a name that leads out") << QStringList{package, QStringLiteral("..")} << QString();
        QTest::newRow("no arguments") << QStringList{} << QString();
    }

    void command_line_destinations()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, destination);
        const auto named = TDravinexMainForm::command_line_package(arguments);
        if (destination.isEmpty()) {
            QVERIFY(!named || !named->bad_name.empty());
            return;
        }
        QVERIFY(named);
        QCOMPARE(QString::fromStdString(named->package), arguments.front());
        QCOMPARE(QString::fromStdString(named->destination), samples_folder() + destination);
    }

    void the_first_copy_unpacks_its_command_line_package_beside_it()
    {
        ui_test::Folders folders;
        QFile::copy(sample_zreg(2), folders.in() + QStringLiteral("пакет.zreg"));
        Copy first(folders, {folders.in() + QStringLiteral("пакет.zreg"), QStringLiteral("Выгрузка")});
        QVERIFY(started_as_window(first, folders));
        QVERIFY(ui_test::wait_for([&] { return QFile::exists(folders.in() + QStringLiteral("Выгрузка/0002.rac")); }));
        QVERIFY(!QDir(folders.store()).exists());
    }
};

DRAVINEX_UI_TEST_MAIN(StartupTest)
#include "startup_test.moc"
