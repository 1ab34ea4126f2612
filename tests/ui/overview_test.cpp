// "Обзор скважин" in the window: the rows of a store with wells of known ages, the marks in
// the view and in the tree, a double click that selects the well, and the setting's hours.

#include "Ui_test_support.h"

#include "settings/Configuration.h"
#include "ui/Dialog1.h"
#include "lib/Mytime.h"
#include "testkit/Realtime_writer.h"
#include "ui/Main.h"
#include "ui/Overview.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTreeWidget>

#include <filesystem>

namespace {

constexpr std::uint32_t hour = 3600;

void write_well(const QString& folder, const char* name, std::uint32_t newest, float depth)
{
    std::filesystem::create_directories(folder.toStdString());
    FileStorageParam p;
    p.name = "Вес";
    FileStorageItem item;
    item.time = newest;
    item.depth_z = depth;
    item.values = {2};
    testkit::write_file((folder + QString::fromUtf8(name)).toStdString(), testkit::realtime_file({p}, {item}, {}, 2));
}

// Северная/12 one hour old, Северная/14 nine hours, Южная/7 without records.
void write_store(const ui_test::Folders& folders)
{
    const std::uint32_t now = lib::now_seconds();
    write_well(folders.store() + QStringLiteral("Северная/12/"), "1.realtim", now - hour, 1250.f);
    write_well(folders.store() + QStringLiteral("Северная/14/"), "2.realdep", now - 9 * hour, 870.f);
    std::filesystem::create_directories((folders.store() + QStringLiteral("Южная/7")).toStdString());
}

QTreeWidgetItem* tree_item(TDravinexMainForm& form, const QString& caption)
{
    return ui_test::tree_node(*form.Tree, caption);
}

QStringList column(QTableWidget& grid, int column)
{
    QStringList cells;
    for (int row = 0; row < grid.rowCount(); ++row)
        cells << grid.item(row, column)->text();
    return cells;
}

} // namespace

class OverviewTest : public QObject {
    Q_OBJECT
private slots:
    void the_view_lists_the_wells_oldest_first_with_their_marks()
    {
        ui_test::Folders folders;
        write_store(folders);
        configuration().silence_hours = 6;
        TDravinexMainForm form(program_folders(folders.home().toStdString()), QStringList{});
        form.show();
        QVERIFY(ui_test::wait_for([&] { return !form.overview_running() && form.overview_rows().size() == 3; }));

        form.mnuOverview->trigger();
        TOverviewForm* view = form.findChild<TOverviewForm*>(QStringLiteral("Overview"));
        QVERIFY(view != nullptr);
        QVERIFY(view->isVisible());
        QVERIFY(ui_test::wait_for([&] { return !form.overview_running() && view->Grid->rowCount() == 3; }));
        QCOMPARE(column(*view->Grid, TOverviewForm::well), (QStringList{"7", "14", "12"}));
        QCOMPARE(column(*view->Grid, TOverviewForm::area), (QStringList{"Южная", "Северная", "Северная"}));
        QCOMPARE(column(*view->Grid, TOverviewForm::mark), (QStringList{"молчит", "молчит", ""}));
        QCOMPARE(column(*view->Grid, TOverviewForm::depth), (QStringList{"", "870,0", "1250,0"}));
        QCOMPARE(column(*view->Grid, TOverviewForm::age)[0], QStringLiteral("нет данных"));
        QCOMPARE(view->Grid->item(1, TOverviewForm::area)->background().color(), silent_well_colour());
        QVERIFY(view->Grid->item(2, TOverviewForm::area)->background().style() == Qt::NoBrush);
        QCOMPARE(view->Summary->text(), QStringLiteral("Скважин: 3, молчат более 6 ч: 2"));
        // Every column of a row with data says something.
        for (int c = 0; c < TOverviewForm::column_count; ++c) {
            if (c != TOverviewForm::newest_depth && c != TOverviewForm::packages && c != TOverviewForm::mark)
                QVERIFY2(!view->Grid->item(2, c)->text().isEmpty(), qPrintable(QString::number(c)));
        }

        // The last column, the mark, lies inside the view at its first size, or the view has
        // grown as wide as the screen lets it.
        const QRect mark_cell = view->Grid->visualItemRect(view->Grid->item(0, TOverviewForm::mark));
        QVERIFY2(mark_cell.right() <= view->Grid->viewport()->width()
                     || view->width() >= view->screen()->availableGeometry().width(),
                 qPrintable(QStringLiteral("%1 > %2").arg(mark_cell.right()).arg(view->Grid->viewport()->width())));

        // The tree marks the same wells, by colour, image and tip.
        QTreeWidgetItem* silent = tree_item(form, QStringLiteral("Скважина 14"));
        QTreeWidgetItem* current = tree_item(form, QStringLiteral("Скважина 12"));
        QVERIFY(silent != nullptr && current != nullptr);
        QCOMPARE(silent->background(0).color(), silent_well_colour());
        QVERIFY(silent->toolTip(0).contains(QStringLiteral("молчит")));
        QVERIFY(current->background(0).style() == Qt::NoBrush);
        QVERIFY(current->toolTip(0).isEmpty());
        QVERIFY(tree_item(form, QStringLiteral("Скважина 7"))->toolTip(0).contains(QStringLiteral("нет ни одной записи")));

        // A double click on a row selects its well in the tree, its area unfolded.
        form.Tree->collapseAll();
        const QRect cell = view->Grid->visualItemRect(view->Grid->item(1, TOverviewForm::well));
        QTest::mouseClick(view->Grid->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(view->Grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(form.Tree->currentItem(), silent);
        QVERIFY(silent->parent()->isExpanded());
    }

    // A folded area's wells get their items when it unfolds (here by the keyboard), marked
    // by the last overview; the overview's choice of a well reaches into an area no one
    // unfolded.
    void wells_made_when_needed_carry_their_marks()
    {
        ui_test::Folders folders;
        write_store(folders);
        configuration().silence_hours = 6;
        TDravinexMainForm form(program_folders(folders.home().toStdString()), QStringList{});
        form.show();
        QVERIFY(ui_test::wait_for([&] { return !form.overview_running() && form.overview_rows().size() == 3; }));
        const auto made = [&](const QString& caption) {
            return !form.Tree->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive).isEmpty();
        };
        QVERIFY(!made(QStringLiteral("Скважина 14")));
        QTreeWidgetItem* north = form.Tree->findItems(QStringLiteral("Площадь Северная"), Qt::MatchExactly | Qt::MatchRecursive).front();
        QCOMPARE(north->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);

        form.Tree->setFocus();
        form.Tree->setCurrentItem(north);
        QTest::keyClick(form.Tree, Qt::Key_Right);
        QVERIFY(north->isExpanded());
        QCOMPARE(north->childCount(), 2);
        QTreeWidgetItem* current = north->child(0);
        QTreeWidgetItem* silent = north->child(1);
        QCOMPARE(silent->text(0), QStringLiteral("Скважина 14"));
        QCOMPARE(silent->background(0).color(), silent_well_colour());
        QVERIFY(silent->toolTip(0).contains(QStringLiteral("молчит")));
        QVERIFY(current->background(0).style() == Qt::NoBrush);
        QVERIFY(current->toolTip(0).isEmpty());
        QTest::keyClick(form.Tree, Qt::Key_Down);
        QCOMPARE(form.Tree->currentItem(), current);

        QVERIFY(!made(QStringLiteral("Скважина 7")));
        QVERIFY(form.select_well(folders.store() + QStringLiteral("Южная/7/")));
        QTreeWidgetItem* empty = form.Tree->currentItem();
        QCOMPARE(empty->text(0), QStringLiteral("Скважина 7"));
        QVERIFY(empty->parent()->isExpanded());
        QVERIFY(empty->toolTip(0).contains(QStringLiteral("нет ни одной записи")));
        QVERIFY(!form.select_well(folders.store() + QStringLiteral("Южная/8/")));
        QVERIFY(!form.select_well(folders.store() + QStringLiteral("Южная/")));
    }

    void the_settings_hours_decide_the_marks()
    {
        ui_test::Folders folders;
        write_store(folders);
        configuration().silence_hours = 6;
        TDravinexMainForm form(program_folders(folders.home().toStdString()), QStringList{});
        QVERIFY(ui_test::wait_for([&] { return !form.overview_running() && form.overview_rows().size() == 3; }));
        QVERIFY(form.overview_rows()[1].old);

        // The dialog keeps the hours; the next rebuild of the tree marks by them.
        TOptForm dialog(configuration(), &form);
        QTimer::singleShot(0, &dialog, [&] {
            QCOMPARE(dialog.SilenceHours->value(), 6);
            dialog.SilenceHours->setValue(10);
            dialog.TimeZone->setText(QStringLiteral("-3:30"));
            dialog.accept();
        });
        QVERIFY(dialog.execute());
        QCOMPARE(configuration().silence_hours, 10);
        QCOMPARE(configuration().time_zone, std::string("-03:30")); // the zone of WITSML exports, as written
        form.rebuild_tree();
        QVERIFY(ui_test::wait_for([&] { return !form.overview_running() && !form.overview_rows()[1].old; }));
        QVERIFY(tree_item(form, QStringLiteral("Скважина 14"))->toolTip(0).isEmpty());
        QVERIFY(form.overview_rows()[0].old); // no records at all: silent whatever the hours
        configuration().silence_hours = 6;
        configuration().time_zone.clear();
    }
};

DRAVINEX_UI_TEST_MAIN(OverviewTest)
#include "overview_test.moc"
