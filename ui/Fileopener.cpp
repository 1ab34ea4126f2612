#include "ui/Fileopener.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int query_timeout_ms = 3000;

// Splits an Exec line into words; double quotes group, a backslash escapes inside them.
QStringList exec_words(const QString& line)
{
    QStringList words;
    QString word;
    bool quoted = false;
    bool in_word = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == QLatin1Char('\\') && i + 1 < line.size()) {
            word += line[++i];
        }
        else if (c == QLatin1Char('"')) {
            quoted = !quoted;
            in_word = true;
        }
        else if (!quoted && c.isSpace()) {
            if (in_word)
                words << word;
            word.clear();
            in_word = false;
        }
        else {
            word += c;
            in_word = true;
        }
    }
    if (in_word)
        words << word;
    return words;
}

struct DesktopEntry {
    QString exec;
    bool terminal = false;
};

DesktopEntry read_entry(const QString& desktop_file)
{
    DesktopEntry entry;
    QFile file(desktop_file);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    QTextStream lines(&file);
    bool in_entry = false;
    while (!lines.atEnd()) {
        const QString line = lines.readLine().trimmed();
        if (line.startsWith(QLatin1Char('[')))
            in_entry = line == QStringLiteral("[Desktop Entry]");
        else if (in_entry && line.startsWith(QStringLiteral("Exec=")))
            entry.exec = line.mid(5);
        else if (in_entry && line.startsWith(QStringLiteral("Terminal=")))
            entry.terminal = line.mid(9).trimmed().compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
    }
    return entry;
}

// Graphical editors tried, in order, when the default one needs a terminal and there is none.
QString graphical_editor()
{
    for (const char* name : {"gnome-text-editor", "gedit", "kate", "kwrite", "mousepad", "pluma", "xed", "featherpad",
                             "geany", "leafpad"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty())
            return found;
    }
    return {};
}

// Starts a program on its own, its output going nowhere: a program that writes to a
// terminal must never write into ours.
bool start_quietly(const QStringList& command, const QString& folder)
{
    QProcess process;
    process.setProgram(command.front());
    process.setArguments(command.mid(1));
    process.setWorkingDirectory(folder);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

void open_with_entry(const QString& path, const QString& entry_file, const OpenFailure& failed)
{
    const QString entry_path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry_file);
    if (entry_path.isEmpty()) {
        open_with_desktop(path, failed);
        return;
    }
    const DesktopEntry entry = read_entry(entry_path);
    const QStringList command =
        editor_command(entry.exec, entry.terminal, path,
                       QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator")),
                       entry.terminal ? graphical_editor() : QString());
    if (command.isEmpty()) {
        if (entry.terminal)
            failed(QString::fromUtf8(opener_text::no_terminal).arg(entry_file));
        else
            open_with_desktop(path, failed);
        return;
    }
    if (!start_quietly(command, QFileInfo(path).absolutePath()))
        failed(QString::fromUtf8(opener_text::not_started).arg(command.front()));
}

} // namespace

QStringList desktop_exec_command(const QString& exec_line, const QString& file)
{
    QStringList command;
    bool file_given = false;
    for (const QString& word : exec_words(exec_line)) {
        if (word == QStringLiteral("%f") || word == QStringLiteral("%F")) {
            command << file;
            file_given = true;
        }
        else if (word == QStringLiteral("%u") || word == QStringLiteral("%U")) {
            command << QUrl::fromLocalFile(file).toString();
            file_given = true;
        }
        else if (word.size() == 2 && word.startsWith(QLatin1Char('%'))) {
            if (word == QStringLiteral("%%"))
                command << QStringLiteral("%");
        }
        else {
            command << word;
        }
    }
    if (!command.isEmpty() && !file_given)
        command << file;
    return command;
}

QStringList editor_command(const QString& exec_line, bool in_terminal, const QString& file, const QString& terminal,
                           const QString& graphical_editor)
{
    const QStringList command = desktop_exec_command(exec_line, file);
    if (command.isEmpty() || !in_terminal)
        return command;
    if (!terminal.isEmpty())
        return QStringList{terminal, QStringLiteral("-e")} + command;
    if (!graphical_editor.isEmpty())
        return {graphical_editor, file};
    return {};
}

void open_in_text_editor(const QString& path, QObject* context, OpenFailure failed)
{
    const QString xdg_mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdg_mime.isEmpty()) {
        open_with_desktop(path, failed);
        return;
    }
    // The desktop is asked in the background; the answer arrives as the query ends.
    auto* query = new QProcess(context);
    query->setStandardInputFile(QProcess::nullDevice());
    QTimer::singleShot(query_timeout_ms, query, [query] { query->kill(); });
    QObject::connect(query, &QProcess::finished, context, [query, path, failed](int code, QProcess::ExitStatus status) {
        query->deleteLater();
        const QString name = QString::fromUtf8(query->readAllStandardOutput()).trimmed();
        if (status != QProcess::NormalExit || code != 0 || name.isEmpty())
            open_with_desktop(path, failed);
        else
            open_with_entry(path, name, failed);
    });
    QObject::connect(query, &QProcess::errorOccurred, context, [query, path, failed](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        query->deleteLater();
        open_with_desktop(path, failed);
    });
    query->start(xdg_mime, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/plain")});
}

void open_with_desktop(const QString& path, const OpenFailure& failed)
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        failed(QString::fromUtf8(opener_text::no_program));
}
