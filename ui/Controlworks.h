#pragma once
// The look every window of the program shares, and the program's version texts.
//
// apply_interface_style picks the interface font once per process: the first of "Tahoma" and
// "Arial" that is installed, else the desktop's own font stays. Edit boxes, combo boxes and
// multi-line texts get "Lucida Console" 9 pt, or the desktop's fixed-width font when that is
// not installed; labels are coloured or made bold by their "tag" property (1 green, 2 red,
// 3 navy, 4 bold, 5 green and bold). GUI thread only.

#include <QMessageBox>
#include <QString>

class QCoreApplication;
class QWidget;

// The dynamic property that plays the role of a control's tag.
inline constexpr const char* control_tag_property = "tag";

void apply_interface_style(QWidget& window);

// A text of the program (UTF-8 in the source) as Qt text.
inline QString ui_text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// The first `parts` numbers of the program's four-part version, joined by ".".
QString file_version_text(int parts);
// The same rule on any version text: its first `parts` dot-separated numbers, or all it has.
QString file_version_text(const QString& version, int parts);

// The compile date as "Mmm d yyyy" (English month abbreviation, day without padding).
QString build_date_text();
// The same text made from a compiler date such as "Feb  5 2020" (its day padded by a blank).
QString build_date_text(const char* compiler_date);

// Loads Qt's own Russian texts (standard buttons, file dialogs), whatever the desktop's
// language: the program speaks Russian only. False when they are not installed.
bool install_russian_translations(QCoreApplication& application);

// Gives the standard buttons of a message box their Russian texts, whatever language Qt's
// own texts are in.
void set_russian_button_texts(QMessageBox& box);

// Asks a question whose buttons speak Russian; returns the button pressed (Escape or
// closing the box gives Cancel).
QMessageBox::StandardButton ask_question(QWidget* owner, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton default_button);

// A question with the buttons "Да" and "Нет"; true for "Да".
bool ask_yes_no(QWidget* parent, const QString& caption, const QString& question, bool yes_by_default = true);
