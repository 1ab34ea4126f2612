#pragma once
// Opening files of the store with the desktop's programs. Text files (run data, notes,
// settings) go to the desktop's default text editor even when their extension is unknown
// to the desktop; other files go to the program the desktop associates with them. Nothing
// here waits on the GUI thread: the desktop is asked in a process of its own, and the
// programs started never write into our output.

#include <QString>
#include <QStringList>

#include <functional>

class QObject;

namespace opener_text {
inline constexpr const char* not_opened = "Файл не открыт: %1 (%2)";
inline constexpr const char* no_terminal =
    "текстовый редактор %1 работает в терминале, а ни терминала, ни графического редактора не найдено";
inline constexpr const char* not_started = "не удалось запустить %1";
inline constexpr const char* no_program = "на рабочем столе нет программы для файлов этого вида";
} // namespace opener_text

// Why a file could not be opened, for the window to show.
using OpenFailure = std::function<void(const QString& reason)>;

// The command of a desktop entry's Exec line for one file: the program and its arguments,
// with %f %F %u %U replaced by the file and the other field codes dropped. Empty when the
// line has no program.
QStringList desktop_exec_command(const QString& exec_line, const QString& file);

// The command that starts a desktop entry on a file. A terminal program (Terminal=true)
// runs inside `terminal` ("x-terminal-emulator -e ..."), or, without a terminal, the file
// goes to `graphical_editor`; empty when neither is there or the line has no program.
QStringList editor_command(const QString& exec_line, bool in_terminal, const QString& file, const QString& terminal,
                           const QString& graphical_editor);

// Starts the default text editor (the desktop's program for text/plain) on the file; falls
// back to the desktop's association when no editor is set. Returns at once; `failed` is
// called later, on the GUI thread while `context` lives, when nothing could be started.
void open_in_text_editor(const QString& path, QObject* context, OpenFailure failed);

// Opens the file with the program the desktop associates with it.
void open_with_desktop(const QString& path, const OpenFailure& failed);
