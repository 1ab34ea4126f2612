#pragma once
// The file operations of the main window that the desktop's file manager would do: moving
// files and folders to the freedesktop trash, and copying them with a progress dialog that
// asks before replacing a file. GUI thread only.

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
} // namespace shell_text

// Moves one file or folder to the user's trash. Returns an empty text on success, else why
// it failed; the item then stays where it was.
QString move_to_trash(const QString& path);

struct CopyOutcome {
    QStringList failures; // "path: reason", one per file that could not be copied
    bool cancelled = false;
};

// Copies files and folders (with their contents) into `destination`, creating it when
// missing. Each existing file is replaced only after the user agrees (Yes / Yes to all / No
// / Cancel). Every file is written under a temporary name and renamed when complete.
CopyOutcome copy_into_folder(const QStringList& sources, const QString& destination, QWidget* owner);
