#include "ui/Dialog2.h"

#include "ui/Controlworks.h"
#include "lib/Strworks.h"
#include "ui/Rxrehelper.h"

#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

QUrl about_link_target(const QString& link_text)
{
    if (link_text.contains(QLatin1Char('@')))
        return QUrl(QStringLiteral("mailto:") + link_text);
    return QUrl(link_text);
}

TAboutForm::TAboutForm(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QString::fromUtf8(about_text::caption));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);

    reAbout = new QTextBrowser(this);
    reAbout->setFrameShape(QFrame::NoFrame);
    reAbout->setOpenLinks(false);
    reAbout->setOpenExternalLinks(false);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(13);
    reAbout->setFont(font);
    btnExit = new QPushButton(QString::fromUtf8(about_text::exit), this);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnExit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(reAbout, 1);
    layout->addLayout(buttons);
    resize(559, 601);

    connect(btnExit, &QPushButton::clicked, this, &QDialog::reject);
    connect(reAbout, &QTextBrowser::anchorClicked, this, &TAboutForm::reAboutURLClick);

    apply_interface_style(*this);
    QFile about(QStringLiteral(":/dravinex/about.html"));
    if (about.open(QIODevice::ReadOnly))
        reAbout->setHtml(QString::fromUtf8(about.readAll()));
    fill_placeholders();
    reAbout->moveCursor(QTextCursor::Start);
    reAbout->setReadOnly(true);
}

void TAboutForm::fill_placeholders()
{
    const QString date = build_date_text();
    const QString year = QString::fromStdString(lib::third_word(date.toStdString()));
    auto text = [](const char* utf8) { return QString::fromUtf8(utf8); };
    QTextEdit& view = *reAbout;
    replace_placeholder(view, QStringLiteral("##YEAR##"), year);
    replace_placeholder(view, QStringLiteral("##YEAR2##"), year);
    replace_placeholder(view, QStringLiteral("##YEAR3##"), year);
    replace_placeholder(view, QStringLiteral("##CDATE##"), date);
    replace_placeholder(view, QStringLiteral("##MAIN_SITE##"), text(about_data::main_site), true);
    replace_placeholder(view, QStringLiteral("##ORG_RU_NAME##"), text(about_data::org_name));
    replace_placeholder(view, QStringLiteral("##MAIN_EMAIL##"), text(about_data::main_email), true);
    replace_placeholder(view, QStringLiteral("##DEV_EMAIL##"), text(about_data::dev_email), true);
    replace_placeholder(view, QStringLiteral("##PROG_SITE##"), text(about_data::prog_site), true);
    replace_placeholder(view, QStringLiteral("##ORG_RU_ADR##"), text(about_data::org_address));
    replace_placeholder(view, QStringLiteral("##TEL##"), text(about_data::telephone));
    insert_version(view);
}

void TAboutForm::reAboutURLClick(const QUrl& link)
{
    QDesktopServices::openUrl(about_link_target(link.toString()));
}
