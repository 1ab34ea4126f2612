#pragma once
// The About box: the program's name, version, build date, maker and contact data, with
// clickable web and e-mail addresses. GUI thread only.

#include <QDialog>
#include <QString>
#include <QUrl>

class QPushButton;
class QTextBrowser;

namespace about_text {
inline constexpr const char* caption = " О программе...";
inline constexpr const char* exit = "Выход";
} // namespace about_text

// The maker's data filled into the text.
namespace about_data {
inline constexpr const char* main_site = "https://korvimeta.example/";
inline constexpr const char* org_name = "ООО «Корвимета»";
inline constexpr const char* main_email = "info@korvimeta.example";
inline constexpr const char* dev_email = "dravinex@korvimeta.example";
inline constexpr const char* prog_site = "https://korvimeta.example/dravinex/";
inline constexpr const char* org_address = "625000, г. Тюмень, ул. Геологоразведчиков, д. 14, офис 3";
inline constexpr const char* telephone = "+7 (3452) 00-14-30, факс +7 (3452) 00-14-31";
} // namespace about_data

// What a click on a link opens: an address with an at sign as "mailto:", others unchanged.
QUrl about_link_target(const QString& link_text);

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* owner);

    QTextBrowser* reAbout = nullptr;
    QPushButton* btnExit = nullptr;

private:
    void fill_placeholders();
    void reAboutURLClick(const QUrl& link);
};
