#pragma once
// The file operations of the main window that the desktop's file manager would do: moving
// files and folders to the freedesktop trash, and copying them with a progress dialog that
// asks before replacing a file. Called on the GUI thread; the copying itself runs on a
// thread of its own while the window goes on drawing.

#include "ui/Controlworks.h"

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

namespace shell_text {
inline constexpr const char* trash_failed = "Не удалось переместить в корзину: ";
inline constexpr const char* copy_failed = "Не удалось скопировать файл ";
inline constexpr const char* copy_caption = "Копирование";
inline constexpr const char* copy_progress = "Копирование файлов...";
inline constexpr const char* cancel = "Отмена";
inline constexpr const char* replace_caption = "Замена файла";
inline constexpr const char* replace_question = "Файл уже существует:\n\n%1\n\nЗаменить его?";
inline constexpr const char* no_file = "файл не найден";
inline constexpr const char* no_trash = "корзина недоступна";
inline constexpr const char* not_moved = "файл не удалось переместить";
inline constexpr const char* copy_into_itself = "Папку нельзя скопировать в саму себя или в её вложенную папку:\n\n%1\n\nв\n\n%2";
inline constexpr const char* copy_refused = "Копирование отменено: ";
inline constexpr const char* copy_done = "Скопировано в %1: файлов %2 (%3)";
inline constexpr const char* copy_kept = ", оставлено без замены: %1";
inline constexpr const char* copy_stopped = "Копирование в %1 прервано: скопировано файлов %2 из %3 (%4), не скопировано %5";
inline constexpr const char* copy_next_left = ", первым остался %1";
inline constexpr const char* copy_not_copied = ", с ошибками: %1";
} // namespace shell_text

// Moves one file or folder to the user's trash. Returns an empty text on success, else why
// it failed; the item then stays where it was.
QString move_to_trash(const QString& path);

struct CopyOutcome {
    QStringList failures; // "path: reason", one per file that could not be copied
    bool cancelled = false;
    int total = 0;        // files found to copy
    int copied = 0;       // files written
    int kept = 0;         // existing files the user chose to keep
    qint64 bytes = 0;     // bytes written
    QString first_left;   // after a stop: the first file not copied
};

// Why the sources may not be copied into `destination`: a folder copied into itself or
// below itself would copy its own copy again and again. Empty when the copy may go ahead.
QString copy_refusal(const QStringList& sources, const QString& destination);

// Copies files and folders (with their contents) into `destination`, creating it when
// missing. Each existing file is replaced only after the user agrees (Yes / Yes to all / No
// / Cancel); while the question is open the copy waits and its progress window is hidden.
// Every file is written under a temporary name and renamed when complete. Returns when the
// copy has ended; the events of the window are handled meanwhile.
CopyOutcome copy_into_folder(const QStringList& sources, const QString& destination, QWidget* owner);

// The journal's line about a finished or stopped copy.
QString copy_summary(const CopyOutcome& outcome, const QString& destination);
