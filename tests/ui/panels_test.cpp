// The main window's panels driven as a user would: extracting the sample packages of all
// five kinds, the tree and grid that follow, runs with failing and handed-over packages,
// the trash, dropped files, copies, and clearing the cache.

#include "Ui_test_support.h"

#include "settings/Configuration.h"
#include "catalogue/Filedata.h"
#include "extract/Regrarclass.h"
#include "extract/Run_lock.h"
#include "platform/Session.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"
#include "testkit/Zreg_writer.h"
#include "ui/Main.h"
#include "ui/Progressform.h"
#include "ui/Shellfiles.h"
#include "ui/viewer/Log_viewer.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QTableView>
#include "ui/Gridworks.h"
#include <algorithm>
#include <QThread>
#include <QTreeWidget>

namespace {

constexpr int sample_count = 13;

QString samples_folder()
{
    static QTemporaryDir folder;
    static const bool written = QProcess::execute(QStringLiteral(DRAVINEX_SAMPLES), {folder.path()}) == 0;
    return written ? folder.path() + QLatin1Char('/') : QString();
}

void copy_samples(const QString& into, const QStringList& names = {})
{
    const QStringList all = QDir(samples_folder()).entryList(QDir::Files);
    for (const QString& name : all) {
        if (names.isEmpty() || names.contains(name))
            QFile::copy(samples_folder() + name, into + name);
    }
}

void write_broken_package(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a package at all, just some bytes that end too soon");
}

class Window {
public:
    explicit Window(const ui_test::Folders& folders)
        : form(program_folders(folders.home().toStdString()), QStringList{})
    {
        form.show();
        static_cast<void>(settled());
    }
    ~Window()
    {
        // Quietly let a run that a failed check left behind end first.
        ui_test::MessageBoxAnswerer answer_rest(QMessageBox::Ok, 100);
        static_cast<void>(ui_test::wait_for([&] { return !form.extraction_running(); }));
        // Whatever a test made the window say, it said in Russian.
        for (const QString& line : journal()) {
            const QStringList latin = ui_test::latin_words(line);
            if (!latin.isEmpty())
                QTest::qFail(qPrintable(QStringLiteral("English in the journal: ") + latin.join(QLatin1Char(' '))
                                        + QStringLiteral(" in: ") + line),
                             __FILE__, __LINE__);
        }
    }

    bool run_ended()
    {
        return ui_test::wait_for([&] { return !form.extraction_running() && form.pending.empty(); }) && settled();
    }

    // The lists read, and no copy or move to the trash going on: the window's work runs off
    // its GUI thread, and the tests look once it is done.
    bool settled()
    {
        return ui_test::wait_for([&] { return !form.lists_updating() && !form.copy_running() && !form.trash_running(); });
    }

    QTreeWidgetItem* node(const QString& caption) const { return ui_test::tree_node(*form.Tree, caption); }

    void select(const QString& caption) { form.Tree->setCurrentItem(node(caption)); }

    QStringList grid_column(int column) const
    {
        QStringList cells;
        for (int row = 0; row < form.grid_model->rowCount(); ++row)
            cells << form.grid_model->cell(row, column);
        return cells;
    }

    // Without the line that says the desktop has no notification service (these tests run
    // without a session bus; notify_test covers it).
    QStringList journal() const
    {
        QStringList lines = form.Memo1->toPlainText().split(QLatin1Char('\n'));
        lines.removeIf([](const QString& line) { return line.contains(QString::fromUtf8(main_text::notice_not_shown)); });
        return lines;
    }

    TDravinexMainForm form;
};

QString trash_files()
{
    return QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/Trash/files/");
}

} // namespace

class PanelsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(!samples_folder().isEmpty());
        set_archiver_path(DRAVINEX_ARCHIVER);
    }

    void extracting_everything_fills_the_journal_tree_and_grid()
    {
        ui_test::Folders folders;
        copy_samples(folders.in());
        Window window(folders);
        QCOMPARE(window.form.ListView1->count(), sample_count);

        window.form.tbtnExtract->trigger();
        QVERIFY(window.form.extraction_running());
        QVERIFY(!window.form.centralWidget()->isEnabled());
        QVERIFY(window.run_ended());

        // The run's header carries its date and time.
        QCOMPARE(window.journal().filter(QRegularExpression(QStringLiteral("^Распаковка данных: \\d+ \\S+ \\d{4}г\\. \\d+:\\d\\d$"))).size(), 1);
        QVERIFY(window.form.progress_window() == nullptr);
        QVERIFY(window.form.centralWidget()->isEnabled());
        QCOMPARE(window.form.end_signals(), 1);
        for (const char* caption : {"Площадь Северная", "Площадь Южная", "Скважина 12", "Скважина 14", "Скважина 7"})
            QVERIFY2(window.node(QString::fromUtf8(caption)) != nullptr, caption);
        // Areas show, wells stay folded.
        QVERIFY(window.node(QStringLiteral("Все данные"))->isExpanded());
        QVERIFY(!window.node(QStringLiteral("Площадь Северная"))->isExpanded());

        window.select(QStringLiteral("Скважина 12"));
        QCOMPARE(window.grid_column(0),
                 (QStringList{" ---", " ---", " 1", " 1", " 2", " 2", " 3", " 3"}));
        QCOMPARE(window.grid_column(1).mid(0, 3), (QStringList{" inpgti.ini", " well.realtim", " 0001.rac"}));
        QCOMPARE(window.grid_column(2).mid(0, 3),
                 (QStringList{" Настройки скважины", " Временной файл", " Данные по рейсу"}));
        QVERIFY(window.form.btnShowFile->isEnabled());
        // "Просмотр файла" on a data file opens the built-in viewer over it.
        window.form.Grid->setCurrentIndex(window.form.grid_model->index(1, 0));
        window.form.btnShowFile->click();
        QVERIFY(ui_test::wait_for([&] { return !window.form.findChildren<viewer::LogViewer*>().isEmpty(); }));
        const auto viewers = window.form.findChildren<viewer::LogViewer*>();
        QCOMPARE(viewers.size(), 1);
        QVERIFY(viewers.front()->windowTitle().startsWith(QStringLiteral("well.realtim")));
        QVERIFY(viewers.front()->data().size() > 0);
        delete viewers.front();
        // Rows are coloured by the parity of their run number, not by their position.
        const QColor base = window.form.Grid->palette().color(QPalette::Base);
        const QColor expected[] = {QColor(225, 255, 255), QColor(225, 255, 255), base, base,
                                   QColor(232, 255, 232), QColor(232, 255, 232), base, base};
        for (int row = 0; row < 8; ++row) {
            for (int column = 0; column < 3; ++column) {
                const QModelIndex cell = window.form.grid_model->index(row, column);
                QCOMPARE(cell.data(Qt::BackgroundRole).value<QColor>(), expected[row]);
            }
        }
        // The last column fills the grid.
        const int widths = window.form.Grid->columnWidth(0) + window.form.Grid->columnWidth(1)
            + window.form.Grid->columnWidth(2);
        QVERIFY(std::abs(widths - window.form.Grid->viewport()->width()) <= 3);

        window.select(QStringLiteral("Площадь Северная"));
        QCOMPARE(window.grid_column(0), QStringList{QString()});
        QVERIFY(!window.form.btnShowFile->isEnabled());

        // A second run finds nothing new.
        window.form.tbtnExtract->trigger();
        QVERIFY(window.run_ended());
        const QStringList journal = window.journal();
        QVERIFY(journal[journal.size() - 2].endsWith(QStringLiteral("НОВЫЕ данные не найдены!")));
        QVERIFY2(journal.last().endsWith(QStringLiteral("Пакетов найдено: 13, распаковано: 0, "
                                                        "пропущено как уже распакованные: 13, с ошибками: 0")),
                 qPrintable(journal.last()));
        QCOMPARE(window.form.end_signals(), 2);

        // Cleared cache: everything is unpacked again, so a file lost from the store comes back.
        const QString lost = folders.store() + QStringLiteral("Северная/12/0001.rac");
        QVERIFY(QFile::remove(lost));
        window.form.N2Click();
        QVERIFY(window.form.cache.entries().empty());
        QVERIFY(!QFile::exists(QString::fromStdString(window.form.folders().cache)));
        QVERIFY(!QFile::exists(trash_files() + QStringLiteral("TemporaryFileData.bin"))); // gone, not trashed
        window.form.tbtnExtract->trigger();
        QVERIFY(window.run_ended());
        QVERIFY(QFile::exists(lost));
        QCOMPARE(window.form.cache.entries().size(), std::size_t{sample_count});
    }

    // Closing while a run waits for its error box to be read joins the run and runs nothing
    // that was queued for the window: no follow-up, no next waiting package.
    void closing_during_a_run_joins_it_and_starts_nothing_queued()
    {
        ui_test::Folders folders;
        write_broken_package(folders.in() + QStringLiteral("bad.zreg"));
        const QString waiting = folders.root.path() + QStringLiteral("/waiting.zreg");
        {
            QFile file(waiting);
            QVERIFY(file.open(QIODevice::WriteOnly));
            const testkit::Bytes bytes = testkit::one_record_package("31");
            file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        }
        auto form = std::make_unique<TDravinexMainForm>(program_folders(folders.home().toStdString()), QStringList{});
        form->show();
        form->pending.push_back(waiting.toStdString());
        form->tbtnExtract->trigger();
        QVERIFY(form->extraction_running());
        QThread::msleep(500); // the run asks for its error box and waits; nothing answers
        form.reset();
        QVERIFY(!QDir(folders.store() + QStringLiteral("Северная/31")).exists());
        QCoreApplication::processEvents();
    }

    // The whole day's work by keyboard alone: every panel action sits in a menu with its
    // shortcut, Tab walks the panels without being trapped, Enter opens, Delete trashes in
    // the panel that has the focus.
    void the_keyboard_alone_reaches_every_action()
    {
        ui_test::Folders folders;
        copy_samples(folders.in(), {QStringLiteral("Северная_12_рейс1.zreg"), QStringLiteral("Южная_7_рейс1.zreg")});
        Window window(folders);
        TDravinexMainForm& form = window.form;
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));

        const struct {
            const char* menu;
            const char* action;
            QKeySequence keys;
        } menu_items[] = {
            {"mnuPackages", "tbtnExtract", QKeySequence(Qt::Key_F9)},
            {"mnuPackages", "tbtnDelete", QKeySequence(QKeySequence::Delete)},
            {"mnuData", "mnuShowFile", QKeySequence(Qt::Key_F3)},
            {"mnuData", "tbtnCopyTo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)},
            {"mnuData", "tbtbDeleteExtracted", QKeySequence(QKeySequence::Delete)},
        };
        for (const auto& item : menu_items) {
            auto* menu = form.findChild<QMenu*>(QString::fromLatin1(item.menu));
            QVERIFY2(menu != nullptr, item.menu);
            const auto actions = menu->actions();
            const auto found = std::find_if(actions.begin(), actions.end(), [&](QAction* action) {
                return action->objectName() == QString::fromLatin1(item.action);
            });
            QVERIFY2(found != actions.end(), item.action);
            QCOMPARE((*found)->shortcut(), item.keys);
        }

        form.ListView1->setFocus();
        QTest::keyClick(form.ListView1, Qt::Key_F9);
        QVERIFY(window.run_ended());
        QVERIFY(window.node(QStringLiteral("Скважина 12")) != nullptr);
        QApplication::setActiveWindow(&form); // the run's progress window had it
        QVERIFY(QTest::qWaitForWindowActive(&form));

        // Tab: package list, tree, file grid (its cells are not walked), the button, journal.
        form.ListView1->setFocus();
        const QWidget* order[] = {form.Tree, form.Grid};
        for (const QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        window.select(QStringLiteral("Скважина 12"));
        form.Grid->setFocus();
        QTest::keyClick(form.Grid, Qt::Key_Down);
        QTest::keyClick(form.Grid, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form.btnShowFile);
        QTest::keyClick(form.btnShowFile, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form.Memo1);

        // Enter on a data file's row opens the viewer, and so does F3.
        form.Grid->setFocus();
        form.Grid->setCurrentIndex(form.grid_model->index(1, 0));
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_F3}) {
            QTest::keyClick(form.Grid, key);
            QVERIFY(ui_test::wait_for([&] { return form.findChildren<viewer::LogViewer*>().size() == 1; }));
            const auto viewers = form.findChildren<viewer::LogViewer*>();
            QCOMPARE(viewers.size(), 1);
            delete viewers.front();
            form.activateWindow();
            QApplication::setActiveWindow(&form);
            QVERIFY(ui_test::wait_for([&] { return QApplication::activeWindow() == &form; }, 5000));
            form.Grid->setFocus();
        }

        // Ctrl+Shift+C asks where to copy the selected well; Escape leaves it.
        bool asked = false;
        QTimer::singleShot(200, [&] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                asked = true;
                QTest::keyClick(dialog, Qt::Key_Escape);
            }
        });
        QTest::keyClick(form.Tree, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(ui_test::wait_for([&] { return asked; }, 5000));
        form.activateWindow();
        QApplication::setActiveWindow(&form);
        QVERIFY(ui_test::wait_for([&] { return QApplication::activeWindow() == &form; }, 5000));

        // Delete in the package list trashes the package; in the tree, the well's data.
        form.ListView1->setFocus();
        form.ListView1->setCurrentRow(0);
        form.ListView1->item(0)->setSelected(true);
        QTest::keyClick(form.ListView1, Qt::Key_Delete);
        QVERIFY(window.settled());
        QCOMPARE(form.ListView1->count(), 1);
        QVERIFY(QFile::exists(trash_files() + QStringLiteral("Северная_12_рейс1.zreg")));
        window.select(QStringLiteral("Скважина 7"));
        form.Tree->setFocus();
        QTest::keyClick(form.Tree, Qt::Key_Delete);
        QVERIFY(window.settled());
        QVERIFY(!QDir(folders.store() + QStringLiteral("Южная/7")).exists());
        QCOMPARE(form.ListView1->count(), 1); // the package list's Delete did not act again
    }

    void the_tree_keeps_its_unfolded_areas_and_the_selected_well_across_runs()
    {
        ui_test::Folders folders;
        copy_samples(folders.in(), {QStringLiteral("Северная_12_рейс1.zreg")});
        Window window(folders);
        window.form.tbtnExtract->trigger();
        QVERIFY(window.run_ended());
        window.node(QStringLiteral("Площадь Северная"))->setExpanded(true);
        window.select(QStringLiteral("Скважина 12"));
        copy_samples(folders.in(), {QStringLiteral("Южная_7_рейс1.zreg")});
        window.form.tbtnExtract->trigger();
        QVERIFY(window.run_ended());
        QVERIFY(window.node(QStringLiteral("Площадь Северная"))->isExpanded());
        QCOMPARE(window.form.Tree->currentItem(), window.node(QStringLiteral("Скважина 12")));
        QVERIFY(window.form.btnShowFile->isEnabled()); // its files on show
    }

    // A rebuild selects the well again even in a folded area (its wells had no items in the
    // new tree until then), and the grid shows the files the well holds now.
    void the_selection_comes_back_in_a_folded_area_with_the_files_it_holds_now()
    {
        ui_test::Folders folders;
        const QString well = folders.store() + QStringLiteral("Северная/12/");
        QVERIFY(QDir().mkpath(well) && QDir().mkpath(folders.store() + QStringLiteral("Южная/7")));
        const auto touch = [&](const char* name) { QVERIFY(QFile(well + QString::fromUtf8(name)).open(QIODevice::WriteOnly)); };
        touch("1.tim");
        Window window(folders);
        window.select(QStringLiteral("Скважина 12"));
        window.node(QStringLiteral("Площадь Северная"))->setExpanded(false);
        QCOMPARE(window.grid_column(1), QStringList{QStringLiteral(" 1.tim")});

        const QStringList unchanged{QStringLiteral(" 1.tim")};
        const QStringList grown{QStringLiteral(" 1.tim"), QStringLiteral(" 2.tim")};
        struct Step {
            const char* added;
            const char* removed;
            QStringList files;
        };
        for (const Step& step : {Step{nullptr, nullptr, unchanged}, Step{"2.tim", nullptr, grown},
                                 Step{nullptr, "1.tim", QStringList{QStringLiteral(" 2.tim")}},
                                 Step{nullptr, "2.tim", QStringList{QString()}}}) {
            if (step.added)
                touch(step.added);
            if (step.removed)
                QVERIFY(QFile::remove(well + QString::fromUtf8(step.removed)));
            window.form.rebuild_tree();
            QVERIFY(window.settled());
            QVERIFY(window.form.Tree->currentItem() != nullptr);
            QCOMPARE(window.form.Tree->currentItem()->text(0), QStringLiteral("Скважина 12"));
            QCOMPARE(window.grid_column(1), step.files);
            QCOMPARE(window.form.btnShowFile->isEnabled(), !step.files.front().isEmpty());
        }
    }

    void the_journal_keeps_its_last_lines_only()
    {
        ui_test::Folders folders;
        Window window(folders);
        for (int line = 0; line < journal_line_limit + 10; ++line)
            window.form.Memo1->appendPlainText(QString::number(line));
        QCOMPARE(window.form.Memo1->blockCount(), journal_line_limit);
        QCOMPARE(window.journal().first(), QString::number(10));
        QCOMPARE(window.journal().last(), QString::number(journal_line_limit + 9));
    }

    // Check, agree to the offered repair, check again: the store comes out clean.
    void checking_the_store_reports_offers_its_repair_and_then_comes_out_clean()
    {
        ui_test::Folders folders;
        QDir(folders.root.path()).mkpath(QStringLiteral("store/Северная/12"));
        QFile cut(folders.store() + QStringLiteral("Северная/12/1.realtim"));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        // No parameters, then a record sector cut after two bytes of its body.
        cut.write(QByteArray("\x02\x01\x00\x00\x01\x30\x00\x01\x02", 9));
        cut.close();
        Window window(folders);
        ui_test::MessageBoxAnswerer answer(QMessageBox::Yes);
        window.form.mnuCheckStore->trigger();
        QVERIFY(window.form.store_check_running());
        QVERIFY(!window.form.mnuCheckStore->isEnabled());
        // The check, the question, the repair.
        QVERIFY(ui_test::wait_for([&] {
            return !window.form.store_check_running() && window.form.Memo1->toPlainText().contains(QStringLiteral("исправлено"));
        }));
        QVERIFY(window.form.mnuCheckStore->isEnabled());
        QCOMPARE(answer.texts.size(), 1);
        QVERIFY2(answer.texts[0].contains(QStringLiteral("оборванным концом: 1")), qPrintable(answer.texts[0]));
        QVERIFY(answer.texts[0].contains(QStringLiteral("Больше ничего не изменится")));
        const QString text = window.form.Memo1->toPlainText();
        QVERIFY2(text.contains(QStringLiteral("обрезанный последний сектор")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Проверено файлов данных: 1, найдено: 1")), qPrintable(text));

        window.form.Memo1->clear();
        window.form.mnuCheckStore->trigger();
        QVERIFY(ui_test::wait_for([&] { return !window.form.store_check_running(); }));
        QVERIFY2(window.form.Memo1->toPlainText().contains(QStringLiteral("Проверено файлов данных: 1, найдено: 0")),
                 qPrintable(window.form.Memo1->toPlainText()));
        QCOMPARE(answer.texts.size(), 1); // nothing more to offer
    }

    // Closing the window during a long store check stops the check between two files: the
    // window is gone within a second, and the stopped check writes no report.
    void closing_during_a_store_check_returns_within_a_second()
    {
        ui_test::Folders folders;
        // 200 wells of a 1 MB real-time file each: a check that reads for seconds.
        const std::string first = (folders.store() + QStringLiteral("Северная/0/1.realtim")).toStdString();
        QDir().mkpath(folders.store() + QStringLiteral("Северная/0"));
        testkit::write_file(first, testkit::realtime_file(testkit::synthetic_params(40),
                                                          testkit::synthetic_records(5000, 40, 1), {}, 2));
        for (int well = 1; well < 200; ++well) {
            const QString folder = folders.store() + QStringLiteral("Северная/%1/").arg(well);
            QDir().mkpath(folder);
            QVERIFY(QFile::copy(QString::fromStdString(first), folder + QStringLiteral("1.realtim")));
        }
        Window window(folders);
        window.form.mnuCheckStore->trigger();
        // Closed as soon as the check runs: reading the 200 files takes far longer than that.
        QVERIFY(ui_test::wait_for([&] { return window.form.store_check_running(); }));
        QElapsedTimer clock;
        clock.start();
        window.form.close();
        QVERIFY(ui_test::wait_for([&] { return !window.form.isVisible(); }, 10000));
        const qint64 closed_after = clock.elapsed();
        QVERIFY2(closed_after < 1000, qPrintable(QStringLiteral("closed after %1 ms").arg(closed_after)));
        QVERIFY(!window.form.store_check_running());
        QVERIFY(!window.form.Memo1->toPlainText().contains(QStringLiteral("Проверка хранилища окончена")));
    }

    void a_failing_package_shows_its_error_while_the_others_are_placed()
    {
        ui_test::Folders folders;
        copy_samples(folders.in(), {QStringLiteral("Северная_12_рейс1.zreg")});
        write_broken_package(folders.in() + QStringLiteral("Битый.zreg"));
        Window window(folders);

        bool blocked_while_asking = false;
        bool progress_stayed_open = false;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || blocked_while_asking)
                return;
            blocked_while_asking = window.form.extraction_running() && !window.form.centralWidget()->isEnabled();
            window.form.progress_window()->close(); // the close box does nothing during a run
            progress_stayed_open = window.form.progress_window()->isVisible();
        });
        watcher.start(20);
        ui_test::MessageBoxAnswerer answer(QMessageBox::Ok);
        window.form.tbtnExtract->trigger();
        QVERIFY(window.run_ended());

        QCOMPARE(answer.titles, QStringList{QStringLiteral("  ОШИБКА")});
        QVERIFY2(answer.texts.front().contains(QStringLiteral("Битый.zreg")), qPrintable(answer.texts.front()));
        QVERIFY(blocked_while_asking);
        QVERIFY(progress_stayed_open);
        QVERIFY(QFile::exists(folders.store() + QStringLiteral("Северная/12/0001.rac")));
    }

    void a_failed_package_stays_in_the_journal_and_shows_its_box_once_until_it_changes()
    {
        ui_test::Folders folders;
        const QString broken = folders.in() + QStringLiteral("Битый.zreg");
        write_broken_package(broken);
        Window window(folders);
        const auto failure_lines = [&] {
            return window.journal().filter(QStringLiteral("Произошла ошибка при распаковке файла \"") + broken
                                           + QStringLiteral("\": "));
        };
        {
            ui_test::MessageBoxAnswerer answer(QMessageBox::Ok);
            window.form.tbtnExtract->trigger();
            QVERIFY(window.run_ended());
            QCOMPARE(answer.titles.size(), 1);
        }
        QCOMPARE(failure_lines().size(), 1);
        QVERIFY2(window.journal().last().endsWith(QStringLiteral("Пакетов найдено: 1, распаковано: 0, "
                                                                 "пропущено как уже распакованные: 0, с ошибками: 1")),
                 qPrintable(window.journal().last()));
        QVERIFY(!window.form.Memo1->toPlainText().contains(QStringLiteral("НОВЫЕ данные не найдены!")));

        // The same damage again: its journal line, no box that stops the run.
        ui_test::MessageBoxAnswerer answer(QMessageBox::Ok);
        window.form.tbtnExtract->trigger();
        QVERIFY(window.run_ended());
        QTest::qWait(100);
        QVERIFY(answer.titles.isEmpty());
        QCOMPARE(failure_lines().size(), 2);
    }

    void a_missing_input_folder_is_said_in_the_package_panel_and_the_journal()
    {
        ui_test::Folders folders;
        QVERIFY(QDir(folders.in()).removeRecursively());
        Window window(folders);
        QString folder = folders.in();
        folder.chop(1);
        const QString said = QStringLiteral("Папка пакетов ") + folder + QStringLiteral(" не существует");
        QCOMPARE(window.form.ListView1->count(), 1);
        QCOMPARE(window.form.ListView1->item(0)->text(), said);
        window.form.tbtnExtract->trigger();
        QVERIFY(window.run_ended());
        QVERIFY(window.journal().contains(said));
    }

    void folders_written_without_their_final_slash_are_used_as_folders()
    {
        ui_test::Folders folders;
        QString in = folders.in();
        QString store = folders.store();
        in.chop(1);
        store.chop(1);
        QFile ini(folders.home() + QStringLiteral("dravinex2.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(QStringLiteral("[options]\nto_path=%1\nfrom_path=%2\n").arg(store, in).toUtf8());
        ini.close();
        copy_samples(folders.in(), {QStringLiteral("Северная_12_рейс1.zreg")});
        QFile::copy(samples_folder() + QStringLiteral("Южная_7_рейс1.zreg"), in + QStringLiteral("-old.zreg"));
        Window window(folders);
        QCOMPARE(window.form.ListView1->count(), 1);
        window.form.tbtnExtract->trigger();
        QVERIFY(window.run_ended());
        QVERIFY(QFile::exists(folders.store() + QStringLiteral("Северная/12/0001.rac")));
        QVERIFY(!QDir(store + QStringLiteral("Северная")).exists());
        QVERIFY(!QDir(folders.store() + QStringLiteral("Южная")).exists()); // the package beside the folder stays
        QVERIFY(window.node(QStringLiteral("Скважина 12")) != nullptr);
    }

    // Without its lock the temporary folder is not the run's: the window refuses like the
    // command line and the watch, and says why.
    void a_home_without_a_lock_file_runs_nothing_and_says_why()
    {
        ui_test::Folders folders;
        copy_samples(folders.in(), {QStringLiteral("Северная_12_рейс1.zreg")});
        QFile blocker(folders.root.path() + QStringLiteral("/a file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const ProgramFolders homeless = program_folders((blocker.fileName() + QStringLiteral("/home/")).toStdString());
        TDravinexMainForm form(homeless, QStringList{});
        configuration().from_path = folders.in().toStdString();
        configuration().to_path = folders.store().toStdString();
        form.show();
        form.tbtnExtract->trigger();
        QVERIFY(ui_test::wait_for([&] { return !form.extraction_running(); }));
        QVERIFY2(form.Memo1->toPlainText().contains(QString::fromStdString(homeless.run_lock)),
                 qPrintable(form.Memo1->toPlainText()));
        QVERIFY(!QDir(folders.store()).exists());
    }

    void a_run_waits_while_another_run_of_the_home_holds_its_lock()
    {
        ui_test::Folders folders;
        copy_samples(folders.in(), {QStringLiteral("Южная_7_рейс1.zreg")});
        Window window(folders);
        auto other_run = std::make_unique<RunLock>(program_folders(folders.home().toStdString()).run_lock, false);
        QVERIFY(other_run->held());

        window.form.tbtnExtract->trigger();
        QVERIFY(ui_test::wait_for([&] {
            return !window.journal().isEmpty()
                && window.journal().last().contains(QString::fromUtf8(run_lock_text::waiting));
        }));
        QTest::qWait(1500); // the window looks again, but nothing is unpacked meanwhile
        QVERIFY(window.form.extraction_running());
        QVERIFY(!QDir(folders.store()).exists());

        other_run.reset();
        QVERIFY(window.run_ended());
        QVERIFY(window.node(QStringLiteral("Скважина 7")) != nullptr);
    }

    void closing_the_window_keeps_what_another_run_saved_in_the_cache()
    {
        ui_test::Folders folders;
        const std::string cache_path = program_folders(folders.home().toStdString()).cache;
        {
            Window window(folders);
            FilesDataStorage other_run;
            other_run.store("/packages/a.zreg", 12);
            other_run.save(cache_path);
        }
        FilesDataStorage cache;
        cache.load(cache_path);
        std::int32_t size = 0;
        QVERIFY(cache.find("/packages/a.zreg", size));
        QCOMPARE(size, 12);
    }

    void packages_handed_over_during_a_run_follow_it_one_by_one()
    {
        ui_test::Folders folders;
        write_broken_package(folders.in() + QStringLiteral("Битый.zreg"));
        Window window(folders);
        // The run waits on its error box, so the hand-offs surely arrive while it lasts.
        bool handed_over = false;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (handed_over || qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) == nullptr)
                return;
            handed_over = true;
            int error = 0;
            const std::string files = folders.home().toStdString() + ".files";
            platform::append_line_locked(files, (samples_folder() + QStringLiteral("Северная_12_рейс1.zreg")).toStdString(), error);
            platform::append_line_locked(files, (samples_folder() + QStringLiteral("Южная_7_рейс2.zreg")).toStdString(), error);
            window.form.receive_hand_off();
        });
        watcher.start(20);
        QTimer answer_after_hand_off;
        QObject::connect(&answer_after_hand_off, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr && handed_over && window.form.pending.size() == 2)
                box->button(QMessageBox::Ok)->click();
        });
        answer_after_hand_off.start(20);
        window.form.tbtnExtract->trigger();
        QVERIFY(ui_test::wait_for([&] { return handed_over; }));
        QVERIFY(window.run_ended());

        QCOMPARE(window.form.end_signals(), 1);
        // Placed like every package: each well in its own folder, nothing at the store's root.
        QVERIFY(QFile::exists(folders.store() + QStringLiteral("Северная/12/0001.rac")));
        QVERIFY(QFile::exists(folders.store() + QStringLiteral("Южная/7/well.realtim")));
        QVERIFY(!QFile::exists(folders.store() + QStringLiteral("well.realtim")));
        const QString journal = window.form.Memo1->toPlainText();
        const auto first = journal.indexOf(QStringLiteral("скважина \"12\""));
        const auto second = journal.indexOf(QStringLiteral("скважина \"7\""));
        QVERIFY(first >= 0 && second > first);
    }

    // A file that is no package, handed to the running window, fails with its reason in the
    // journal and its error box; nothing is placed and the summary counts it as failed.
    void a_handed_over_file_that_is_no_package_says_so()
    {
        ui_test::Folders folders;
        Window window(folders);
        const QString note = folders.root.path() + QStringLiteral("/заметка.txt");
        {
            QFile file(note);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("a note, not a package");
        }
        int error = 0;
        platform::append_line_locked(folders.home().toStdString() + ".files", note.toStdString(), error);
        ui_test::MessageBoxAnswerer answer(QMessageBox::Ok);
        window.form.receive_hand_off();
        QVERIFY(window.run_ended());
        const QStringList journal = window.journal();
        QVERIFY(journal.contains(QStringLiteral("Произошла ошибка при распаковке файла \"%1\": ").arg(note)
                                 + QString::fromUtf8(extract_text::not_a_package)));
        QVERIFY(journal.last().endsWith(QStringLiteral("с ошибками: 1")));
        QVERIFY(!QDir(folders.store()).exists() || QDir(folders.store()).isEmpty());
    }

    void deleted_packages_and_data_go_to_the_trash()
    {
        ui_test::Folders folders;
        copy_samples(folders.in(), {QStringLiteral("Северная_12_рейс1.zreg"), QStringLiteral("Южная_7_рейс1.zreg")});
        Window window(folders);
        QCOMPARE(window.form.ListView1->count(), 2);
        window.form.ListView1->item(0)->setSelected(true);
        window.form.tbtnDeleteClick();
        QVERIFY(window.settled());
        QCOMPARE(window.form.ListView1->count(), 1);
        QVERIFY(!QFile::exists(folders.in() + QStringLiteral("Северная_12_рейс1.zreg")));
        QVERIFY(QFile::exists(trash_files() + QStringLiteral("Северная_12_рейс1.zreg")));

        window.form.tbtnExtract->trigger();
        QVERIFY(window.run_ended());
        window.select(QStringLiteral("Скважина 7"));
        QVERIFY(window.form.btnShowFile->isEnabled());
        window.form.tbtbDeleteExtractedClick();
        QVERIFY(window.settled());
        QVERIFY(!QDir(folders.store() + QStringLiteral("Южная/7")).exists());
        // The files of the deleted well do not stay on show.
        QCOMPARE(window.grid_column(1), QStringList{QString()});
        QVERIFY(!window.form.btnShowFile->isEnabled());
        QVERIFY(window.node(QStringLiteral("Скважина 7")) == nullptr);
        QVERIFY(window.node(QStringLiteral("Площадь Южная")) != nullptr);

        window.select(QStringLiteral("Все данные"));
        window.form.tbtbDeleteExtractedClick();
        QVERIFY(window.settled());
        QVERIFY(!QDir(folders.store()).exists());
        QCOMPARE(window.form.Tree->topLevelItemCount(), 1);
        QCOMPARE(window.form.Tree->topLevelItem(0)->childCount(), 0);
    }

    void the_trash_is_made_when_the_data_folder_is_missing()
    {
        QTemporaryDir scratch;
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (scratch.path() + QStringLiteral("/no/share")).toUtf8());
        QFile file(scratch.path() + QStringLiteral("/package.zreg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString problem = move_to_trash(file.fileName());
        qputenv("XDG_DATA_HOME", saved);
        QCOMPARE(problem, QString());
        QVERIFY(!file.exists());
        QVERIFY(QFile::exists(scratch.path() + QStringLiteral("/no/share/Trash/files/package.zreg")));
        QVERIFY(!QFile::exists(QDir::currentPath() + QStringLiteral("/package.zreg")));
    }

    void a_file_that_cannot_reach_the_trash_stays_and_is_named_in_the_journal()
    {
        ui_test::Folders folders;
        copy_samples(folders.in(), {QStringLiteral("Южная_7_рейс1.zreg")});
        Window window(folders);
        QFile blocker(folders.root.path() + QStringLiteral("/plain file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (blocker.fileName() + QStringLiteral("/share")).toUtf8());
        // Qt's fallback for a missing trash is the current folder: nothing may land there.
        QTemporaryDir current;
        const QString saved_current = QDir::currentPath();
        QDir::setCurrent(current.path());
        window.form.ListView1->item(0)->setSelected(true);
        window.form.tbtnDeleteClick();
        QVERIFY(window.settled());
        QDir::setCurrent(saved_current);
        qputenv("XDG_DATA_HOME", saved);
        QCOMPARE(QDir(current.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

        const QString package = folders.in() + QStringLiteral("Южная_7_рейс1.zreg");
        QVERIFY(QFile::exists(package));
        QVERIFY(window.journal().last().contains(QStringLiteral("Не удалось переместить в корзину: ") + package));
        QCOMPARE(window.form.ListView1->count(), 1);
    }

    void drop_questions_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("listed");
        QTest::newRow("9 files are listed") << 9 << true;
        QTest::newRow("10 files get the short question") << 10 << false;
    }

    void drop_questions()
    {
        QFETCH(int, count);
        QFETCH(bool, listed);
        ui_test::Folders folders;
        Window window(folders);
        QStringList dropped;
        for (int i = 0; i < count; ++i)
            dropped << samples_folder() + QStringLiteral("пакет%1.zreg").arg(i);
        const QString folder = folders.in();
        QString expected = QStringLiteral("Копировать файлы в папку ") + folder + QStringLiteral(" ?");
        if (listed)
            expected = QStringLiteral("Копировать следующие файлы:\n\n") + dropped.join(QLatin1Char('\n'))
                + QStringLiteral("\n\nВ папку ") + folder + QStringLiteral(" ?");

        ui_test::MessageBoxAnswerer answer(QMessageBox::No);
        window.form.files_dropped(dropped);
        QCOMPARE(answer.titles, QStringList{QStringLiteral("Копирование упакованных данных")});
        QCOMPARE(answer.texts, QStringList{expected});
        QVERIFY(QDir(folder).isEmpty());
    }

    void dropped_packages_are_copied_into_the_input_folder()
    {
        ui_test::Folders folders;
        Window window(folders);
        ui_test::MessageBoxAnswerer answer(QMessageBox::Yes);
        window.form.files_dropped({samples_folder() + QStringLiteral("Южная_7_рейс1.zreg")});
        QVERIFY(window.settled());
        QCOMPARE(window.form.ListView1->count(), 1);
        QCOMPARE(QFileInfo(folders.in() + QStringLiteral("Южная_7_рейс1.zreg")).size(),
                 QFileInfo(samples_folder() + QStringLiteral("Южная_7_рейс1.zreg")).size());
    }

    void a_copy_asks_before_replacing_an_existing_file()
    {
        ui_test::Folders folders;
        Window window(folders);
        const QString source = folders.root.path() + QStringLiteral("/well/");
        QDir().mkpath(source + QStringLiteral("sub"));
        for (const char* name : {"a.tim", "b.tim", "sub/c.txt"}) {
            QFile file(source + QString::fromUtf8(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("new");
        }
        const QString target = folders.root.path() + QStringLiteral("/copy/");
        QDir().mkpath(target + QStringLiteral("well"));
        QFile old(target + QStringLiteral("well/a.tim"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();

        {
            ui_test::MessageBoxAnswerer answer(QMessageBox::No);
            window.form.shell_copy({source.chopped(1)}, target);
            QVERIFY(window.settled());
            QCOMPARE(answer.texts.size(), 1);
            QVERIFY(answer.texts.front().contains(target + QStringLiteral("well/a.tim")));
        }
        auto content = [&](const char* name) {
            QFile file(target + QString::fromUtf8(name));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QCOMPARE(content("well/a.tim"), QByteArray("old"));
        QCOMPARE(content("well/b.tim"), QByteArray("new"));
        QCOMPARE(content("well/sub/c.txt"), QByteArray("new"));
        QVERIFY(window.form.centralWidget()->isEnabled());

        ui_test::MessageBoxAnswerer replace(QMessageBox::YesToAll);
        window.form.shell_copy({source.chopped(1)}, target);
        QVERIFY(window.settled());
        QCOMPARE(replace.texts.size(), 1); // once for all files
        QCOMPARE(content("well/a.tim"), QByteArray("new"));
        QVERIFY(QDir(target + QStringLiteral("well")).entryList(QDir::Hidden | QDir::Files).size() == 2);
    }

    void a_copy_that_fails_names_the_file_and_the_reason()
    {
        ui_test::Folders folders;
        Window window(folders);
        QFile blocker(folders.root.path() + QStringLiteral("/plain file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString package = samples_folder() + QStringLiteral("Южная_7_рейс1.zreg");
        window.form.shell_copy({package}, blocker.fileName() + QStringLiteral("/target/"));
        QVERIFY(window.settled());
        const QStringList journal = window.journal();
        QVERIFY2(journal.filter(QStringLiteral("Не удалось скопировать файл ") + package).size() == 1,
                 qPrintable(journal.join('\n')));
        // The copy still ends with its line, which counts the failure.
        QVERIFY2(journal.last().endsWith(QStringLiteral(", с ошибками: 1")), qPrintable(journal.last()));
    }
};

DRAVINEX_UI_TEST_MAIN(PanelsTest)
#include "panels_test.moc"
