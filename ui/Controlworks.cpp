#include "ui/Controlworks.h"

#include "lib/Multilang.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTextEdit>
#include <QTranslator>
#include <QWidget>

#include <memory>
#include <optional>
#include <utility>

#ifndef DRAVINEX_VERSION
#error "DRAVINEX_VERSION must name the four-part version"
#endif

namespace {

bool font_installed(const QString& family)
{
    const QString wanted = family.toLower();
    const QStringList families = QFontDatabase::families();
    for (const QString& installed : families) {
        if (installed.toLower() == wanted)
            return true;
    }
    return false;
}

// Chosen once: the font database does not change while the program runs.
const std::optional<QString>& interface_font()
{
    static const std::optional<QString> chosen = []() -> std::optional<QString> {
        for (const char* family : {"Tahoma", "Arial"}) {
            if (font_installed(QString::fromLatin1(family)))
                return QString::fromLatin1(family);
        }
        return std::nullopt;
    }();
    return chosen;
}

QFont text_box_font()
{
    static const QFont font = [] {
        if (font_installed(QStringLiteral("Lucida Console")))
            return QFont(QStringLiteral("Lucida Console"), 9);
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPointSize(9);
        return fixed;
    }();
    return font;
}

bool is_text_box(const QWidget& control)
{
    return qobject_cast<const QLineEdit*>(&control) != nullptr || qobject_cast<const QComboBox*>(&control) != nullptr
        || qobject_cast<const QPlainTextEdit*>(&control) != nullptr
        || (qobject_cast<const QTextEdit*>(&control) != nullptr && !control.inherits("QTextBrowser"));
}

void style_label(QLabel& label, int tag)
{
    QPalette palette = label.palette();
    QFont font = label.font();
    switch (tag) {
    case 1: palette.setColor(QPalette::WindowText, QColor(0, 128, 0)); break;
    case 2: palette.setColor(QPalette::WindowText, QColor(255, 0, 0)); break;
    case 3: palette.setColor(QPalette::WindowText, QColor(0, 0, 128)); break;
    case 4: font.setBold(true); break;
    case 5:
        palette.setColor(QPalette::WindowText, QColor(0, 128, 0));
        font.setBold(true);
        break;
    default: return;
    }
    label.setPalette(palette);
    label.setFont(font);
}

void style_control(QWidget& control)
{
    const int tag = control.property(control_tag_property).toInt();
    if (is_text_box(control) && tag == 0)
        control.setFont(text_box_font());
    else if (auto* label = qobject_cast<QLabel*>(&control))
        style_label(*label, tag);
    if (control.isWindow())
        lib::multilang().translate_form(control);
}

void style_child_controls(QWidget& parent)
{
    for (QObject* child : parent.children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (control == nullptr)
            continue;
        style_child_controls(*control);
        style_control(*control);
    }
}

} // namespace

void apply_interface_style(QWidget& window)
{
    if (const auto& family = interface_font()) {
        QFont font = window.font();
        font.setFamily(*family);
        window.setFont(font);
    }
    style_child_controls(window);
    lib::multilang().translate_form(window);
}

QString file_version_text(const QString& version, int parts)
{
    const QStringList numbers = version.split(QLatin1Char('.'));
    return numbers.mid(0, parts).join(QLatin1Char('.'));
}

QString file_version_text(int parts)
{
    return file_version_text(QStringLiteral(DRAVINEX_VERSION), parts);
}

// "15 февраля 2020" from the compiler's "Feb 15 2020" (a one-digit day is padded with a
// blank there); the year stays the third word, which the About box takes for its ©.
QString build_date_text(const char* compiler_date)
{
    static const char* const english[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const russian[] = {"января", "февраля", "марта",    "апреля",  "мая",    "июня",
                                          "июля",   "августа", "сентября", "октября", "ноября", "декабря"};
    const QStringList words = QString::fromLatin1(compiler_date).simplified().split(QLatin1Char(' '));
    if (words.size() != 3)
        return words.join(QLatin1Char(' '));
    for (std::size_t month = 0; month < std::size(english); ++month) {
        if (words[0] == QLatin1String(english[month]))
            return words[1] + QLatin1Char(' ') + QString::fromUtf8(russian[month]) + QLatin1Char(' ') + words[2];
    }
    return words.join(QLatin1Char(' '));
}

QString build_date_text()
{
    return build_date_text(__DATE__);
}

bool install_russian_translations(QCoreApplication& application)
{
    // Dates, numbers and month names in Qt's own dialogs (the file picker's columns) follow
    // the default locale: Russian, whatever the desktop's language, as every other text.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    // The application owns it from here on and keeps it for the program's life.
    translator->setParent(&application);
    return QCoreApplication::installTranslator(translator.release());
}

void set_russian_button_texts(QMessageBox& box)
{
    const std::pair<QMessageBox::StandardButton, const char*> texts[] = {
        {QMessageBox::Yes, "Да"},          {QMessageBox::YesToAll, "Да для всех"},
        {QMessageBox::No, "Нет"},          {QMessageBox::NoToAll, "Нет для всех"},
        {QMessageBox::Cancel, "Отмена"},   {QMessageBox::Ok, "ОК"},
        {QMessageBox::Close, "Закрыть"},   {QMessageBox::Abort, "Прервать"},
        {QMessageBox::Retry, "Повторить"}, {QMessageBox::Ignore, "Пропустить"},
    };
    for (const auto& [button, text] : texts) {
        if (QAbstractButton* present = box.button(button))
            present->setText(ui_text(text));
    }
}

QMessageBox::StandardButton ask_question(QWidget* owner, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton default_button)
{
    QMessageBox box(QMessageBox::Question, title, text, buttons, owner);
    box.setDefaultButton(default_button);
    set_russian_button_texts(box);
    const int pressed = box.exec();
    return box.clickedButton() == nullptr ? QMessageBox::Cancel : static_cast<QMessageBox::StandardButton>(pressed);
}

bool ask_yes_no(QWidget* parent, const QString& caption, const QString& question, bool yes_by_default)
{
    return ask_question(parent, caption, question, QMessageBox::Yes | QMessageBox::No,
                        yes_by_default ? QMessageBox::Yes : QMessageBox::No)
           == QMessageBox::Yes;
}
