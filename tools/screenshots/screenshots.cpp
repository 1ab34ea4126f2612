// Writes the README's screenshots of the window program, made by the program itself:
//   dravinex-screenshots OUTPUT_FOLDER
// Run it under a display (xvfb-run -a). It writes the sample packages into a private
// folder, unpacks them from the main window, selects a well and grabs the main window, the
// settings dialog and the About box, the question of a copy over an earlier copy and the
// journal after it was answered, and the viewer on well 7's depth file (two passes over the
// same depths). Nothing outside a temporary folder is touched.

#include "app/Configuration_folders.h"
#include "app/Dialog1.h"
#include "app/Configuration.h"
#include "ui/Dialog2.h"
#include "ui/Main.h"
#include "ui/viewer/Log_viewer.h"

#include <QApplication>
#include <QDir>
#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QPixmap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>

namespace {

bool save(QWidget& widget, const QString& file)
{
    QTest::qWait(200);
    const bool saved = widget.grab().save(file);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
    return saved;
}

QTreeWidgetItem* find_item(QTreeWidget& tree, const QString& caption)
{
    const auto found = tree.findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

// The screen over the window: a question box together with the window under it.
bool save_screen(const QWidget& window, const QString& file)
{
    QTest::qWait(200);
    const QRect area = window.frameGeometry();
    const bool saved =
        QApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
    return saved;
}

// Copies well 12 twice into the same folder: the second copy asks before replacing, the
// question is grabbed with the window behind it and answered "Да для всех".
bool copy_shots(TDravinexMainForm& window, const QString& well, const QString& target, const QString& output)
{
    window.shell_copy({well}, target);
    bool grabbed = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || grabbed)
            return;
        grabbed = true;
        poll.stop();
        grabbed = save_screen(window, output + QStringLiteral("/copy-question.png"));
        box->button(QMessageBox::YesToAll)->click();
    });
    poll.start(50);
    window.shell_copy({well}, target);
    return grabbed && save(window, output + QStringLiteral("/copy-answered.png"));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: dravinex-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    QTemporaryDir root;
    for (const char* name : {"home", "in", "config", "data"})
        QDir(root.path()).mkpath(QString::fromLatin1(name));
    qputenv("XDG_CONFIG_HOME", (root.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (root.path() + QStringLiteral("/data")).toUtf8());
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8(main_text::application_title));
    const QString output = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(output);

    const QString samples = QApplication::applicationDirPath() + QStringLiteral("/dravinex-samples");
    if (QProcess::execute(samples, {root.path() + QStringLiteral("/in")}) != 0)
        return 1;
    configuration().from_path = (root.path() + QStringLiteral("/in/")).toStdString();
    configuration().to_path = (root.path() + QStringLiteral("/gtidata/")).toStdString();
    configuration().save((root.path() + QStringLiteral("/home/dravinex2.ini")).toStdString());

    TDravinexMainForm window(program_folders((root.path() + QStringLiteral("/home")).toStdString()), {});
    window.resize(960, 600);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    bool ok = true;
    window.tbtnExtractClick();
    if (!QTest::qWaitFor([&] { return !window.extraction_running(); }, 120000))
        return 1;
    if (QTreeWidgetItem* well = find_item(*window.Tree, QStringLiteral("Скважина 12"))) {
        well->parent()->setExpanded(true);
        window.Tree->setCurrentItem(well);
    }
    ok = save(window, output + QStringLiteral("/main-window.png")) && ok;

    TOptForm settings(configuration(), &window);
    settings.Edit1->setText(QString::fromStdString(configuration().from_path));
    settings.Edit2->setText(QString::fromStdString(configuration().to_path));
    settings.show();
    ok = QTest::qWaitForWindowExposed(&settings) && save(settings, output + QStringLiteral("/settings.png")) && ok;
    settings.hide();

    TAboutForm about(&window);
    about.show();
    ok = QTest::qWaitForWindowExposed(&about) && save(about, output + QStringLiteral("/about.png")) && ok;
    about.hide();

    window.move(0, 0);
    ok = copy_shots(window, QString::fromStdString(configuration().to_path) + QStringLiteral("Северная/12"),
                    root.path() + QStringLiteral("/copies"), output)
         && ok;

    const QString depth = QString::fromStdString(configuration().to_path) + QStringLiteral("Южная/7/depth.realdep");
    if (auto* viewer = static_cast<viewer::LogViewer*>(open_viewer(depth, &window))) {
        viewer->resize(1280, 760);
        // One curve per track, so that the two passes of each stand apart.
        viewer->show_params({1, 3, 4, 6}, 1);
        ok = QTest::qWaitForWindowExposed(viewer) && save(*viewer, output + QStringLiteral("/viewer-two-passes.png")) && ok;
        viewer->close();
    }
    else {
        ok = false;
    }
    return ok ? 0 : 1;
}
