#pragma once
// The progress window of an extraction run: a status line and a bar, set from the signals
// of the job the run is in. While `busy` the window cannot be closed: a run cannot be
// interrupted. GUI thread only.

#include <QDialog>
#include <QEvent>
#include <QString>


class QLabel;
class QProgressBar;

namespace progress_text {
inline constexpr const char* caption = "  Распаковка данных";
} // namespace progress_text

// Custom event numbers of the window program, in place of private window messages.
inline constexpr QEvent::Type run_command_line_event = static_cast<QEvent::Type>(QEvent::User + 1001);
inline constexpr QEvent::Type hand_off_event = static_cast<QEvent::Type>(QEvent::User + 1002);

class Tfrm_progress : public QDialog {
    Q_OBJECT
public:
    explicit Tfrm_progress(QWidget* owner);

    bool busy = true;
    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    void set_status(const QString& text);
    void set_percent(int percent);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
};
