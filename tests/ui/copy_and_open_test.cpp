// "Копировать в..." and "Просмотр файла" as a new user meets them: the question about an
// existing file answered while the copy waits, the folder picker's first folder, a folder
// copied into itself, the journal's line after every copy, the Russian buttons, an editor
// that needs a terminal, and a file that cannot be opened.

#include "Ui_test_support.h"

#include "ui/Fileopener.h"
#include "ui/Main.h"
#include "ui/Shellfiles.h"
#include "ui/Gridworks.h"

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTreeWidget>

namespace {

void write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray content(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Window {
public:
    explicit Window(const ui_test::Folders& folders) : form(program_folders(folders.home().toStdString()), QStringList{})
    {
        form.show();
        static_cast<void>(settled());
    }

    // The lists read and no copy going on: the window's work runs off its GUI thread.
    bool settled()
    {
        return ui_test::wait_for([&] { return !form.lists_updating() && !form.copy_running(); });
    }

    QStringList journal() const { return form.Memo1->toPlainText().split(QLatin1Char('\n')); }
    // The last journal line without its time.
    QString last_entry() const { return journal().last().section(QStringLiteral(" \t "), 1); }

    void select(const QString& caption)
    {
        if (QTreeWidgetItem* found = ui_test::tree_node(*form.Tree, caption))
            form.Tree->setCurrentItem(found);
    }

    void select_file(const QString& name)
    {
        for (int row = 0; row < form.grid_model->rowCount(); ++row)
            if (form.grid_model->cell(row, 1).trimmed() == name)
                form.Grid->setCurrentIndex(form.grid_model->index(row, 1));
    }

    TDravinexMainForm form;
};

// The visible dialogs other than `except`: a progress window over the question shows here.
int other_visible_dialogs(const QWidget* except)
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget != except && widget->isVisible() && qobject_cast<QDialog*>(widget) != nullptr)
            ++count;
    return count;
}

// Answers the question about an existing file only after the copy would long have shown its
// progress, noting what the user would have seen then.
class SlowAnswerer {
public:
    explicit SlowAnswerer(QMessageBox::StandardButton button) : button_(button)
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
        timer_.start(20);
    }

    bool asked = false;
    bool question_on_top = false; // the question was the active modal window, nothing over it
    QStringList button_texts;

private:
    void look()
    {
        QMessageBox* box = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<QMessageBox*>(widget); found && found->isVisible())
                box = found;
        if (box == nullptr || asked)
            return;
        if (!seen_.isValid())
            seen_.start();
        if (seen_.elapsed() < 800)
            return;
        asked = true;
        question_on_top = QApplication::activeModalWidget() == box && other_visible_dialogs(box) == 0;
        for (QAbstractButton* button : box->buttons())
            button_texts << button->text();
        box->button(button_)->click();
    }

    QMessageBox::StandardButton button_;
    QElapsedTimer seen_;
    QTimer timer_;
};

// A well folder with two files and a copy target that already holds one of them.
struct CopyFixture {
    ui_test::Folders folders;
    QString well() const { return folders.store() + QStringLiteral("Северная/12"); }
    QString target() const { return folders.root.path() + QStringLiteral("/copy"); }

    CopyFixture()
    {
        write(well() + QStringLiteral("/a.tim"), "new a");
        write(well() + QStringLiteral("/b.tim"), "new b");
        write(well() + QStringLiteral("/sub/c.txt"), "new c");
        write(target() + QStringLiteral("/12/a.tim"), "old a");
    }
};

} // namespace

class CopyAndOpenTest : public QObject {
    Q_OBJECT
private slots:
    void the_replace_question_is_answerable_while_the_copy_waits_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QByteArray>("a");
        QTest::addColumn<QString>("journal");
        QTest::newRow("Да") << int(QMessageBox::Yes) << QByteArray("new a")
                            << QStringLiteral("Скопировано в %1: файлов 3 (15 байт)");
        QTest::newRow("Нет") << int(QMessageBox::No) << QByteArray("old a")
                             << QStringLiteral("Скопировано в %1: файлов 2 (10 байт), оставлено без замены: 1");
        QTest::newRow("Отмена") << int(QMessageBox::Cancel) << QByteArray("old a")
                                << QStringLiteral("Копирование в %1 прервано: скопировано файлов 0 из 3 (0 байт), "
                                                  "не скопировано 3, первым остался ");
    }

    void the_replace_question_is_answerable_while_the_copy_waits()
    {
        QFETCH(int, button);
        QFETCH(QByteArray, a);
        QFETCH(QString, journal);
        CopyFixture fixture;
        Window window(fixture.folders);
        SlowAnswerer answer(static_cast<QMessageBox::StandardButton>(button));
        window.form.shell_copy({fixture.well()}, fixture.target());
        QVERIFY(window.settled());
        QVERIFY(answer.asked);
        QVERIFY2(answer.question_on_top, "the progress window covered the question");
        QCOMPARE(answer.button_texts.size(), 4);
        for (const char* text : {"Да", "Да для всех", "Нет", "Отмена"})
            QVERIFY2(answer.button_texts.contains(QString::fromUtf8(text)), qPrintable(answer.button_texts.join(", ")));
        QCOMPARE(content(fixture.target() + QStringLiteral("/12/a.tim")), a);
        const QString last = window.last_entry();
        QVERIFY2(last.startsWith(journal.arg(fixture.target())), qPrintable(last));
        QVERIFY(window.form.centralWidget()->isEnabled());
    }

    void a_folder_is_not_copied_into_itself_or_below_itself_data()
    {
        QTest::addColumn<QString>("below");
        QTest::addColumn<bool>("refused");
        QTest::newRow("itself") << QString() << true;
        QTest::newRow("its subfolder") << QStringLiteral("/sub") << true;
        QTest::newRow("a folder below, not yet made") << QStringLiteral("/new/deeper") << true;
        QTest::newRow("a sibling with the same start") << QStringLiteral("2") << false;
    }

    void a_folder_is_not_copied_into_itself_or_below_itself()
    {
        QFETCH(QString, below);
        QFETCH(bool, refused);
        CopyFixture fixture;
        Window window(fixture.folders);
        ui_test::MessageBoxAnswerer answer(QMessageBox::Ok);
        const QString destination = fixture.well() + below;
        window.form.shell_copy({fixture.well()}, destination);
        QVERIFY(window.settled());
        const QString copied_into = destination + QStringLiteral("/12/a.tim");
        QCOMPARE(QFileInfo::exists(copied_into), !refused);
        QCOMPARE(answer.texts.size(), refused ? 1 : 0);
        QCOMPARE(window.last_entry().startsWith(QStringLiteral("Копирование отменено: ")), refused);
        if (refused)
            QVERIFY(!QFileInfo::exists(fixture.well() + QStringLiteral("/new")));
    }

    void the_folder_picker_opens_at_the_last_target_or_home_data()
    {
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("copied");
        QTest::addColumn<QString>("expected");
        const QString home = QDir::homePath();
        const QString tmp = QDir::tempPath();
        QTest::newRow("first copy") << QString() << QStringLiteral("/srv/store/Северная/12") << home;
        QTest::newRow("last target") << tmp << QStringLiteral("/srv/store/Северная/12") << tmp;
        QTest::newRow("last target inside the copied folder") << tmp << tmp << home;
        QTest::newRow("last target gone") << QStringLiteral("/no/such/folder") << QStringLiteral("/srv/x") << home;
        QTest::newRow("home inside the copied folder") << QString() << QStringLiteral("/") << QStringLiteral("/");
    }

    void the_folder_picker_opens_at_the_last_target_or_home()
    {
        QFETCH(QString, last);
        QFETCH(QString, copied);
        QFETCH(QString, expected);
        QCOMPARE(TDravinexMainForm::copy_start_folder(last, copied), expected);
    }

    void copy_to_never_opens_inside_the_selected_well()
    {
        CopyFixture fixture;
        Window window(fixture.folders);
        window.select(QStringLiteral("Скважина 12"));
        QStringList opened_at;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                opened_at << QDir::cleanPath(dialog->directory().absolutePath());
                dialog->reject();
            }
        });
        poll.start(20);
        window.form.tbtnCopyToClick();
        QCOMPARE(opened_at, QStringList{QDir::cleanPath(QDir::homePath())});

        ui_test::MessageBoxAnswerer answer(QMessageBox::Yes, 10);
        window.form.shell_copy({fixture.well()}, fixture.target());
        QVERIFY(window.settled());
        window.form.tbtnCopyToClick();
        QCOMPARE(opened_at.last(), QDir::cleanPath(fixture.target()));
    }

    void an_editor_that_needs_a_terminal_runs_in_the_terminal()
    {
        ui_test::Folders folders;
        const QString bin = folders.root.path() + QStringLiteral("/bin");
        const QString said = folders.root.path() + QStringLiteral("/terminal-args");
        write(bin + QStringLiteral("/xdg-mime"), "#!/bin/sh\necho vim.desktop\n");
        write(bin + QStringLiteral("/x-terminal-emulator"),
              QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1'\n").arg(said).toUtf8());
        for (const char* name : {"xdg-mime", "x-terminal-emulator"})
            QFile::setPermissions(bin + QLatin1Char('/') + QLatin1String(name),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString applications = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/applications");
        write(applications + QStringLiteral("/vim.desktop"),
              "[Desktop Entry]\nType=Application\nName=Vim\nExec=vim %F\nTerminal=true\n");
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.toLocal8Bit() + ':' + path);

        const QString notes = folders.store() + QStringLiteral("Северная/12/1.rac");
        write(notes, "Рейс 1\r\n");
        Window window(folders);
        window.select(QStringLiteral("Скважина 12"));
        window.select_file(QStringLiteral("1.rac"));
        window.form.btnShowFileClick();
        const bool started = ui_test::wait_for([&] { return QFileInfo::exists(said) && !content(said).isEmpty(); }, 10000);
        qputenv("PATH", path);
        QFile::remove(applications + QStringLiteral("/vim.desktop"));
        QVERIFY(started);
        QCOMPARE(QString::fromUtf8(content(said)).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                 (QStringList{QStringLiteral("-e"), QStringLiteral("vim"), notes}));
    }

    void editor_commands_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<QString>("emulator");
        QTest::addColumn<QString>("graphical");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("graphical editor") << "gedit %U" << false << "/usr/bin/x-terminal-emulator" << QString()
                                          << QStringList{"gedit", "file:///w/a.txt"};
        QTest::newRow("terminal editor in the terminal")
            << "vim %F" << true << "/usr/bin/x-terminal-emulator" << "/usr/bin/gedit"
            << QStringList{"/usr/bin/x-terminal-emulator", "-e", "vim", "/w/a.txt"};
        QTest::newRow("no terminal: a graphical editor")
            << "nano %f" << true << QString() << "/usr/bin/mousepad" << QStringList{"/usr/bin/mousepad", "/w/a.txt"};
        QTest::newRow("neither") << "vim %F" << true << QString() << QString() << QStringList{};
    }

    void editor_commands()
    {
        QFETCH(QString, exec);
        QFETCH(bool, terminal);
        QFETCH(QString, emulator);
        QFETCH(QString, graphical);
        QFETCH(QStringList, expected);
        QCOMPARE(editor_command(exec, terminal, QStringLiteral("/w/a.txt"), emulator, graphical), expected);
    }

    void a_file_that_cannot_be_opened_says_why()
    {
        ui_test::Folders folders;
        const QString notes = folders.store() + QStringLiteral("Северная/12/1.rem");
        write(notes, "Заметки рейса\r\n");
        Window window(folders);
        window.select(QStringLiteral("Скважина 12"));
        window.select_file(QStringLiteral("1.rem"));
        ui_test::MessageBoxAnswerer answer(QMessageBox::Ok);
        window.form.btnShowFileClick();
        QVERIFY(ui_test::wait_for([&] { return !answer.texts.isEmpty(); }, 5000));
        QVERIFY2(answer.texts.front().contains(notes) && answer.texts.front().contains(QStringLiteral(".rem")),
                 qPrintable(answer.texts.front()));
        QVERIFY(window.last_entry().startsWith(QStringLiteral("Файл не открыт: ") + notes));
    }
};

DRAVINEX_UI_TEST_MAIN(CopyAndOpenTest)
#include "copy_and_open_test.moc"
