#pragma once
// The settings dialog: the folder of incoming packages, the folder of the data store, the
// hours after which the overview of the store marks a well as silent, and the time zone
// that WITSML exports give the station's clock.
//
// execute() shows it modally and, when confirmed, puts both folders into CONFIGURATION,
// each made to end with '/' (a path shorter than two characters stays as it is). Paths are
// not checked for existence. GUI thread only.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
struct CONFIGURATION;

namespace options_text {
inline constexpr const char* caption = "  Настройки программы";
inline constexpr const char* package_folder = "Путь к запакованным данным";
inline constexpr const char* data_folder = "Путь для помещения данных";
inline constexpr const char* silence_hours = "Скважина молчит, если нет новых записей дольше (часов)";
inline constexpr const char* time_zone = "Часовой пояс часов станции для WITSML (пусто — пояс компьютера)";
inline constexpr const char* time_zone_example = "+05:00";
inline constexpr const char* browse = "...";
inline constexpr const char* ok = "OK";
inline constexpr const char* cancel = "Отмена";
} // namespace options_text

class TOptForm : public QDialog {
    Q_OBJECT
public:
    TOptForm(CONFIGURATION& settings, QWidget* owner);

    // True when the user confirmed; the settings then hold the edited folders.
    bool execute();

    QLineEdit* Edit1 = nullptr; // package folder
    QLineEdit* Edit2 = nullptr; // data folder
    QPushButton* MyButton1 = nullptr; // OK
    QPushButton* MyButton2 = nullptr; // Отмена
    QPushButton* MyButton3 = nullptr; // "..." for Edit1
    QPushButton* MyButton4 = nullptr; // "..." for Edit2
    QSpinBox* SilenceHours = nullptr; // hours after which the overview marks a well as silent
    // "+05:00", or empty for the computer's zone; a text that is no offset keeps the setting.
    QLineEdit* TimeZone = nullptr;

private:
    void MyButton4Click(QPushButton* sender);

    CONFIGURATION& settings_;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
};
