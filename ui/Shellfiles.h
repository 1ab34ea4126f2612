#pragma once
// The file operations of the main window that the desktop's file manager would do: moving
// files and folders to the freedesktop trash, and copying them. Both run inside a
// background::Job, off the GUI thread; the copy asks before replacing a file through the
// job's question, which its progress window (CopyProgress, GUI thread) puts to the user.

#include "ui/Background_job.h"
#include "ui/Controlworks.h"

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QLabel;
class QProgressBar;
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
// it failed; the item then stays where it was. Any thread.
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
// missing, on the job's thread. Each existing file is replaced only after the user agrees:
// the job asks a question answered by QMessageBox::Yes, YesToAll, No or Cancel. A cancelled
// job stops before its next file. Every file is written under a temporary name and renamed
// when complete.
CopyOutcome copy_into_folder(const QStringList& sources, const QString& destination, background::JobContext& context);

// The progress window of a copy: a line, a bar and "Отмена". It shows itself only when the
// copy lasts, and steps aside while the question about a file is open.
class CopyProgress : public QDialog {
    Q_OBJECT
public:
    explicit CopyProgress(QWidget* owner);
    void set_status(const QString& text);
    void set_percent(int percent);
    // Puts the copy's question about an existing file to the user; the button pressed.
    int ask_replace(const background::Query& question);

signals:
    void cancel_asked();

protected:
    void reject() override;

private:
    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
    bool due_ = false;    // the copy has lasted long enough to show its progress
    bool asking_ = false; // a question is open
};

// The journal's line about a finished or stopped copy.
QString copy_summary(const CopyOutcome& outcome, const QString& destination);
