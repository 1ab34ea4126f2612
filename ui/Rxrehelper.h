#pragma once
// Filling placeholders of a formatted text in place, keeping the text's formatting.

#include <QString>

class QTextEdit;

// Replaces the first occurrence of `placeholder` (case-sensitive) by `value`; with
// `as_link` the inserted value becomes a clickable link to itself. False when the
// placeholder is not in the text; the text is then unchanged.
bool replace_placeholder(QTextEdit& view, const QString& placeholder, const QString& value, bool as_link = false);

// The version text of the About box: "major.minor.release, rev. build", or "---" when the
// version has not four numbers.
QString version_text(const QString& four_part_version);

// Replaces "##VERSION##" by the program's version text.
void insert_version(QTextEdit& view);
