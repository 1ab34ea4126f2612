#include "ui/Fileopener.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
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

QString default_text_editor_entry()
{
    const QString xdg_mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdg_mime.isEmpty())
        return {};
    QProcess query;
    query.start(xdg_mime, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/plain")});
    if (!query.waitForFinished(query_timeout_ms) || query.exitCode() != 0)
        return {};
    const QString name = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    return name.isEmpty() ? QString() : QStandardPaths::locate(QStandardPaths::ApplicationsLocation, name);
}

QString exec_line_of(const QString& desktop_file)
{
    QFile file(desktop_file);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream lines(&file);
    bool in_entry = false;
    while (!lines.atEnd()) {
        const QString line = lines.readLine().trimmed();
        if (line.startsWith(QLatin1Char('[')))
            in_entry = line == QStringLiteral("[Desktop Entry]");
        else if (in_entry && line.startsWith(QStringLiteral("Exec=")))
            return line.mid(5);
    }
    return {};
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

void open_in_text_editor(const QString& path)
{
    const QString entry = default_text_editor_entry();
    const QStringList command = entry.isEmpty() ? QStringList() : desktop_exec_command(exec_line_of(entry), path);
    if (!command.isEmpty()
        && QProcess::startDetached(command.front(), command.mid(1), QFileInfo(path).absolutePath()))
        return;
    open_with_desktop(path);
}

void open_with_desktop(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
