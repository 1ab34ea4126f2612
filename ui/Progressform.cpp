#include "ui/Progressform.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>

Tfrm_progress::Tfrm_progress(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frm_progress"));
    setWindowTitle(QString::fromUtf8(progress_text::caption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(501, 121);
    Label1 = new QLabel(this);
    Label1->setGeometry(15, 20, 466, 51);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(15, 75, 466, 26);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
}

void Tfrm_progress::set_status(const QString& text)
{
    Label1->setText(text);
}

void Tfrm_progress::set_percent(int percent)
{
    ProgressBar1->setValue(percent);
}

void Tfrm_progress::closeEvent(QCloseEvent* event)
{
    if (busy)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void Tfrm_progress::reject()
{
    // Escape closes a dialog; a running extraction has no way to stop.
    if (!busy)
        QDialog::reject();
}
