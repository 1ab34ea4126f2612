#pragma once
// Opening files of the store with the desktop's programs. Text files (run data, notes,
// settings) go to the desktop's default text editor even when their extension is unknown
// to the desktop; other files go to the program the desktop associates with them.

#include <QString>
#include <QStringList>

// The command of a desktop entry's Exec line for one file: the program and its arguments,
// with %f %F %u %U replaced by the file and the other field codes dropped. Empty when the
// line has no program.
QStringList desktop_exec_command(const QString& exec_line, const QString& file);

// Starts the default text editor (the desktop's program for text/plain) on the file; falls
// back to the desktop's association when no editor can be found.
void open_in_text_editor(const QString& path);

// Opens the file with the program the desktop associates with it.
void open_with_desktop(const QString& path);
