#include "ui/Rxrehelper.h"

#include "ui/Controlworks.h"

#include <QStringList>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

bool replace_placeholder(QTextEdit& view, const QString& placeholder, const QString& value, bool as_link)
{
    QTextCursor found = view.document()->find(placeholder, 0, QTextDocument::FindCaseSensitively);
    if (found.isNull())
        return false;
    QTextCharFormat format = found.charFormat();
    const int start = found.selectionStart();
    found.insertText(value, format);
    if (as_link) {
        found.setPosition(start);
        found.setPosition(start + static_cast<int>(value.size()), QTextCursor::KeepAnchor);
        QTextCharFormat link = format;
        link.setAnchor(true);
        link.setAnchorHref(value);
        link.setForeground(QColor(0, 0, 238));
        link.setFontUnderline(true);
        found.mergeCharFormat(link);
    }
    return true;
}

QString version_text(const QString& four_part_version)
{
    const QStringList numbers = four_part_version.split(QLatin1Char('.'));
    if (numbers.size() != 4)
        return QStringLiteral("---");
    return numbers[0] + QLatin1Char('.') + numbers[1] + QLatin1Char('.') + numbers[2] + QStringLiteral(", rev. ")
        + numbers[3];
}

void insert_version(QTextEdit& view)
{
    replace_placeholder(view, QStringLiteral("##VERSION##"), version_text(file_version_text(4)));
}
