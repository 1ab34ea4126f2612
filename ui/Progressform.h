#pragma once
// The progress window of an extraction run: a status line and a bar. The run's thread
// posts ExtractProgressEvent to it; the event carries its text by value, so nothing is left
// to free when the window goes. While `busy` the window cannot be closed: a run cannot be
// interrupted. GUI thread only.

#include <QDialog>
#include <QEvent>
#include <QString>

#include <optional>

class QLabel;
class QProgressBar;

namespace progress_text {
inline constexpr const char* caption = "  Распаковка данных";
} // namespace progress_text

// Custom event numbers of the window program, in place of private window messages.
inline constexpr QEvent::Type extract_progress_event = static_cast<QEvent::Type>(QEvent::User + 1000);
inline constexpr QEvent::Type run_command_line_event = static_cast<QEvent::Type>(QEvent::User + 1001);

// Either a new status text or a new percentage.
class ExtractProgressEvent : public QEvent {
public:
    explicit ExtractProgressEvent(QString text) : QEvent(extract_progress_event), text(std::move(text)) {}
    explicit ExtractProgressEvent(int percent) : QEvent(extract_progress_event), percent(percent) {}

    std::optional<QString> text;
    int percent = 0;
};

class Tfrm_progress : public QDialog {
    Q_OBJECT
public:
    explicit Tfrm_progress(QWidget* owner);

    bool busy = true;
    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
};
