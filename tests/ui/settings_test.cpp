// The settings dialog, the saved window layout, a program folder that cannot be written,
// the About box and the version texts.

#include "Ui_test_support.h"

#include "settings/Configuration.h"
#include "ui/Controlworks.h"
#include "ui/Dialog1.h"
#include "lib/Profile.h"
#include "ui/Controls.h"
#include "ui/Dialog2.h"
#include "ui/Main.h"
#include "ui/Rxrehelper.h"

#include <QDate>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTextBrowser>

namespace {

std::unique_ptr<TDravinexMainForm> open_window(const ui_test::Folders& folders)
{
    return std::make_unique<TDravinexMainForm>(program_folders(folders.home().toStdString()), QStringList{});
}

// Fills the settings dialog when it opens and closes it with `button`.
void answer_settings(const QString& from, const QString& to, bool confirm)
{
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<TOptForm*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        dialog->Edit1->setText(from);
        dialog->Edit2->setText(to);
        (confirm ? dialog->MyButton1 : dialog->MyButton2)->click();
    });
}

std::string settings_value(const ui_test::Folders& folders, std::string_view key)
{
    return lib::read_profile_string((folders.home() + QStringLiteral("dravinex2.ini")).toStdString(), "options", key,
                                    "");
}

QString data_path_value()
{
    return QSettings(QStringLiteral("Korvimeta"), QStringLiteral("Dravinex")).value(QStringLiteral("DataPath")).toString();
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void a_confirmed_dialog_is_applied_journaled_and_kept_at_once()
    {
        ui_test::Folders folders;
        auto window = open_window(folders);
        const QString in = folders.root.path() + QStringLiteral("/новые входящие");
        const QString store = folders.root.path() + QStringLiteral("/новый склад/");
        answer_settings(in, store, true);
        window->N4Click();

        QCOMPARE(QString::fromStdString(configuration().from_path), in + QLatin1Char('/'));
        QCOMPARE(QString::fromStdString(configuration().to_path), store); // already ends with '/'
        QVERIFY(window->Memo1->toPlainText().endsWith(QStringLiteral(" \t Заданы новые настройки.")));
        // On disk before the window closes, so a crash cannot bring the old folders back.
        QCOMPARE(QString::fromStdString(settings_value(folders, "from_path")), in + QLatin1Char('/'));
        QCOMPARE(QString::fromStdString(settings_value(folders, "to_path")), store);
        QCOMPARE(data_path_value(), store);
        QCOMPARE(window->package_dir, in.toStdString() + '/');
    }

    // The dialog, the file and the defaults give the same folder: absolute, ending with '/'.
    void folders_typed_without_their_final_slash_get_one()
    {
        ui_test::Folders folders;
        auto window = open_window(folders);
        answer_settings(folders.root.path() + QStringLiteral("/in"), QStringLiteral("  ") + folders.root.path()
                                                                         + QStringLiteral("/store  "), true);
        ui_test::MessageBoxAnswerer keep_cache(QMessageBox::No);
        window->N4Click();
        QCOMPARE(QString::fromStdString(configuration().from_path), folders.in());
        QCOMPARE(QString::fromStdString(configuration().to_path), folders.store());
    }

    void a_new_store_offers_to_clear_the_cache_so_that_everything_is_unpacked_into_it_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("yes") << QMessageBox::Yes << true;
        QTest::newRow("no") << QMessageBox::No << false;
    }

    void a_new_store_offers_to_clear_the_cache_so_that_everything_is_unpacked_into_it()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, cleared);
        ui_test::Folders folders;
        auto window = open_window(folders);
        window->cache.store("/packages/a.zreg", 12);
        window->cache.save(program_folders(folders.home().toStdString()).cache);

        {
            ui_test::MessageBoxAnswerer unchanged(QMessageBox::Yes);
            answer_settings(folders.in(), folders.store(), true); // the same store: no question
            window->N4Click();
            QTest::qWait(100);
            QVERIFY(unchanged.titles.isEmpty());
        }

        ui_test::MessageBoxAnswerer question(answer);
        answer_settings(folders.in(), folders.root.path() + QStringLiteral("/другой склад/"), true);
        window->N4Click();
        QCOMPARE(question.titles, QStringList{QStringLiteral("Новая папка данных")});
        QCOMPARE(window->cache.entries().empty(), cleared);
    }

    // The tests run under the C locale, as a server's desktop may: Qt's dialogs still write
    // their dates and months in Russian.
    void dates_in_qt_own_dialogs_are_russian_whatever_the_locale()
    {
        QCOMPARE(QLocale().language(), QLocale::Russian);
        QCOMPARE(QLocale().toString(QDate(2026, 12, 11), QStringLiteral("d MMMM yyyy")), QStringLiteral("11 декабря 2026"));
    }

    void questions_and_qt_own_buttons_speak_russian()
    {
        QMessageBox standard(QMessageBox::Question, QStringLiteral("?"), QStringLiteral("?"),
                             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        const auto plain = [](QAbstractButton* button) { return button->text().remove(QLatin1Char('&')); };
        QCOMPARE(plain(standard.button(QMessageBox::Yes)), QStringLiteral("Да"));
        QCOMPARE(plain(standard.button(QMessageBox::No)), QStringLiteral("Нет"));
        QCOMPARE(plain(standard.button(QMessageBox::Cancel)), QStringLiteral("Отмена"));

        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            for (QAbstractButton* button : box->buttons())
                buttons << button->text();
            box->button(QMessageBox::No)->click();
        });
        QVERIFY(!ask_yes_no(nullptr, QStringLiteral("?"), QStringLiteral("?")));
        buttons.sort();
        QCOMPARE(buttons, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));
    }

    void a_cancelled_dialog_changes_nothing()
    {
        ui_test::Folders folders;
        auto window = open_window(folders);
        const std::string from_before = configuration().from_path;
        const QString journal_before = window->Memo1->toPlainText();
        answer_settings(QStringLiteral("/elsewhere/in"), QStringLiteral("/elsewhere/store"), false);
        window->N4Click();

        QCOMPARE(configuration().from_path, from_before);
        QCOMPARE(window->Memo1->toPlainText(), journal_before);
        QCOMPARE(QString::fromStdString(settings_value(folders, "from_path")), folders.in());
    }

    void a_maximised_window_keeps_its_restored_bounds()
    {
        ui_test::Folders folders;
        const QRect normal(40, 50, 700, 420);
        {
            auto window = open_window(folders);
            window->setGeometry(normal);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            window->showMaximized();
            QVERIFY(ui_test::wait_for([&] { return window->isMaximized(); }));
            window->save_layout();
        }
        const auto ini = lib::Profile::load((folders.home() + QStringLiteral("dravinex2.ini")).toStdString());
        QCOMPARE(ini.read_int(layout_keys::section, "state", -1), 2);
        QCOMPARE(ini.read_int(layout_keys::section, "left", -1), normal.left());
        QCOMPARE(ini.read_int(layout_keys::section, "top", -1), normal.top());
        QCOMPARE(ini.read_int(layout_keys::section, "width", -1), normal.width());
        QCOMPARE(ini.read_int(layout_keys::section, "height", -1), normal.height());
        QVERIFY(ini.read_int(layout_keys::section, layout_keys::journal_height, -1) > 0);

        auto again = open_window(folders);
        again->show();
        QVERIFY(ui_test::wait_for([&] { return again->isMaximized(); }));
        QCOMPARE(again->normalGeometry(), normal);
    }

    void panel_sizes_come_back()
    {
        ui_test::Folders folders;
        lib::Profile ini = lib::Profile::load((folders.home() + QStringLiteral("dravinex2.ini")).toStdString());
        ini.write_int(layout_keys::section, "width", 900);
        ini.write_int(layout_keys::section, "height", 600);
        ini.write_int(layout_keys::section, layout_keys::packed_width, 300);
        ini.write_int(layout_keys::section, layout_keys::journal_height, 180);
        ini.save((folders.home() + QStringLiteral("dravinex2.ini")).toStdString());
        auto window = open_window(folders);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(ui_test::wait_for([&] { return window->MyContainer1->width() == 300; }));
        QCOMPARE(window->MyContainer4->height(), 180);
    }

    void a_program_folder_that_cannot_be_written_is_reported_once()
    {
        ui_test::Folders folders;
        QFile blocker(folders.root.path() + QStringLiteral("/a file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        // Nothing, not even root, can create files below a plain file.
        auto window = std::make_unique<TDravinexMainForm>(
            program_folders((blocker.fileName() + QStringLiteral("/home/")).toStdString()), QStringList{});
        window->save_layout();
        const QStringList lines = window->Memo1->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.front().contains(blocker.fileName()));
        window.reset(); // saving settings and cache at the end must not throw either
    }

    void the_caption_carries_the_four_part_version()
    {
        ui_test::Folders folders;
        auto window = open_window(folders);
        QCOMPARE(window->windowTitle(), QStringLiteral("Dravinex ") + QStringLiteral(DRAVINEX_VERSION));
        QVERIFY(!window->N7->isEnabled());
        QCOMPARE(window->N7->shortcut(), QKeySequence(Qt::Key_F1));
        QCOMPARE(window->N10->shortcut(), QKeySequence(Qt::Key_F5));
        QCOMPARE(window->mnuExit->shortcut(), QKeySequence(Qt::ALT | Qt::Key_X));
    }

    void file_version_texts_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("parts");
        QTest::addColumn<QString>("text");
        QTest::newRow("all four") << QStringLiteral("3.1.0.3341") << 4 << QStringLiteral("3.1.0.3341");
        QTest::newRow("the first two") << QStringLiteral("3.1.0.3341") << 2 << QStringLiteral("3.1");
        QTest::newRow("one") << QStringLiteral("12.0.7.1") << 1 << QStringLiteral("12");
        QTest::newRow("more parts than asked") << QStringLiteral("1.2.3.4.5") << 4 << QStringLiteral("1.2.3.4");
        QTest::newRow("fewer parts than asked") << QStringLiteral("3.1.0") << 4 << QStringLiteral("3.1.0");
        QTest::newRow("no version") << QString() << 4 << QString();
    }

    void file_version_texts()
    {
        QFETCH(QString, version);
        QFETCH(int, parts);
        QFETCH(QString, text);
        QCOMPARE(file_version_text(version, parts), text);
    }

    void version_texts_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("text");
        QTest::newRow("four parts") << QStringLiteral("3.1.0.3341") << QStringLiteral("3.1.0, rev. 3341");
        QTest::newRow("no version") << QString() << QStringLiteral("---");
        QTest::newRow("three parts") << QStringLiteral("3.1.0") << QStringLiteral("---");
    }

    void version_texts()
    {
        QFETCH(QString, version);
        QFETCH(QString, text);
        QCOMPARE(version_text(version), text);
    }

    void the_build_date_keeps_the_year_as_its_third_word()
    {
        QCOMPARE(build_date_text("Feb 15 2020"), QStringLiteral("15 февраля 2020"));
        QCOMPARE(build_date_text("Dec  5 2026"), QStringLiteral("5 декабря 2026"));
    }

    void the_about_box_fills_every_placeholder()
    {
        TAboutForm about(nullptr);
        const QString shown = about.reAbout->toPlainText();
        QVERIFY2(!shown.contains(QStringLiteral("##")), qPrintable(shown));
        const QString date = build_date_text();
        QVERIFY(shown.contains(QStringLiteral("Версия: ") + version_text(QStringLiteral(DRAVINEX_VERSION)) + QLatin1Char(',')));
        QVERIFY(shown.contains(QStringLiteral("Дата компиляции: ") + date));
        QVERIFY(shown.contains(QStringLiteral("© ") + date.section(QLatin1Char(' '), 2, 2)));
        QVERIFY(shown.contains(QString::fromUtf8(about_data::org_name)));
        QVERIFY(shown.contains(QString::fromUtf8(about_data::dev_email)));
        QVERIFY(about.reAbout->toHtml().contains(QStringLiteral("href=\"") + QString::fromUtf8(about_data::main_email)));
        QVERIFY(about.reAbout->isReadOnly());
    }

    void placeholders_replace_their_first_occurrence_only()
    {
        QTextEdit view;
        view.setPlainText(QStringLiteral("##A## и ##A##, ##a##"));
        QVERIFY(replace_placeholder(view, QStringLiteral("##A##"), QStringLiteral("1")));
        QCOMPARE(view.toPlainText(), QStringLiteral("1 и ##A##, ##a##"));
        QVERIFY(!replace_placeholder(view, QStringLiteral("##YEAR3##"), QStringLiteral("2020")));
        QCOMPARE(view.toPlainText(), QStringLiteral("1 и ##A##, ##a##"));
    }

    void link_targets_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("target");
        QTest::newRow("e-mail") << QStringLiteral("info@korvimeta.example") << QStringLiteral("mailto:info@korvimeta.example");
        QTest::newRow("web site") << QStringLiteral("https://korvimeta.example/") << QStringLiteral("https://korvimeta.example/");
    }

    void link_targets()
    {
        QFETCH(QString, link);
        QFETCH(QString, target);
        QCOMPARE(about_link_target(link).toString(), target);
    }
};

DRAVINEX_UI_TEST_MAIN(SettingsTest)
#include "settings_test.moc"
