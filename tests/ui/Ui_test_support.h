#pragma once
// Shared pieces of the window tests: private folders for every test process (program
// folder, input folder, store, XDG runtime, config and data folders), waiting on
// conditions instead of sleeping, and answering message boxes as a user would.

#include "ui/Controlworks.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>

namespace ui_test {

// Generous: the machine running the tests may be busy with other builds.
inline constexpr int wait_ms = 60000;

// The XDG folders of this test process, made before the application object so that Qt
// reads them from the start.
inline QTemporaryDir& session_root()
{
    static QTemporaryDir root;
    return root;
}

inline void prepare_session()
{
    const QString root = session_root().path();
    for (const char* name : {"runtime", "config", "data"})
        QDir(root).mkpath(QString::fromLatin1(name));
    QFile::setPermissions(root + QStringLiteral("/runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                 | QFileDevice::ExeOwner);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_RUNTIME_DIR", (root + QStringLiteral("/runtime")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
}

// One test's folders: the program folder with its settings naming `in` and `store`.
struct Folders {
    QTemporaryDir root;
    QString home() const { return root.path() + QStringLiteral("/home/"); }
    QString in() const { return root.path() + QStringLiteral("/in/"); }
    QString store() const { return root.path() + QStringLiteral("/store/"); }

    Folders()
    {
        QDir(root.path()).mkpath(QStringLiteral("home"));
        QDir(root.path()).mkpath(QStringLiteral("in"));
        QFile ini(home() + QStringLiteral("dravinex2.ini"));
        if (ini.open(QIODevice::WriteOnly)) {
            ini.write(QStringLiteral("[options]\nto_path=%1\nfrom_path=%2\n").arg(store(), in()).toUtf8());
        }
    }
};

// The Latin words a user would read in a journal line: outside file names and paths
// (words with '/', '.', '_' or a digit), outside parentheses (where the raw text of a
// system or library may follow ours), and other than the abbreviations and names the
// program writes on purpose. Empty for a line in Russian.
inline QStringList latin_words(QString line)
{
    static const QStringList known = {"RAR", "ZIP", "zip", "LAS", "CSV", "WITSML", "XML", "PNG", "SVG", "PDF",
                                      "GTI_Data", "ОК", "D-Bus", "UTF-8", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "Dravinex"};
    line.remove(QRegularExpression(QStringLiteral("\\([^()]*\\)")));
    QStringList found;
    for (const QString& word : line.split(QRegularExpression(QStringLiteral("[\\s,:;\"'«»]+")), Qt::SkipEmptyParts)) {
        if (word.contains(QRegularExpression(QStringLiteral("[/._0-9]"))) || known.contains(word))
            continue;
        if (word.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}"))))
            found << word;
    }
    return found;
}

// Waits for the condition while the event loop runs; false when time ran out.
inline bool wait_for(const std::function<bool()>& condition, int timeout_ms = wait_ms)
{
    return QTest::qWaitFor(condition, timeout_ms);
}

// The tree's item with this caption. The window makes an area's wells when the area unfolds,
// so every folded area is unfolded and folded again, as a user would look through them,
// which leaves the tree as it was.
inline QTreeWidgetItem* tree_node(QTreeWidget& tree, const QString& caption)
{
    for (int top = 0; top < tree.topLevelItemCount(); ++top) {
        QTreeWidgetItem* root = tree.topLevelItem(top);
        for (int child = 0; child < root->childCount(); ++child) {
            QTreeWidgetItem* area = root->child(child);
            if (!area->isExpanded() && area->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator) {
                area->setExpanded(true);
                area->setExpanded(false);
            }
        }
    }
    const auto found = tree.findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

// Answers the next message box that opens with `button` and records its text.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton button, int answers = 1) : button_(button), left_(answers)
    {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start();
    }

    QStringList texts;
    QStringList titles;

private:
    void answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || left_ == 0 || box == last_)
            return;
        last_ = box;
        texts << box->text();
        titles << box->windowTitle();
        --left_;
        if (QAbstractButton* button = box->button(button_))
            button->click();
        else
            box->reject();
    }

    QMessageBox::StandardButton button_;
    int left_;
    QPointer<QMessageBox> last_;
    QTimer timer_;
};

} // namespace ui_test

#define DRAVINEX_UI_TEST_MAIN(TestClass)                                                                              \
    int main(int argc, char** argv)                                                                                   \
    {                                                                                                                 \
        ui_test::prepare_session();                                                                                   \
        QApplication application(argc, argv);                                                                         \
        install_russian_translations(application);                                                                    \
        TestClass test;                                                                                               \
        return QTest::qExec(&test, argc, argv);                                                                       \
    }
