#include "ui/Controls.h"

#include <QLabel>
#include <QVBoxLayout>

TMyContainer::TMyContainer(const QString& caption, QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    caption_ = new QLabel(caption, this);
    caption_->setAutoFillBackground(true);
    QPalette strip = caption_->palette();
    strip.setColor(QPalette::Window, strip.color(QPalette::Highlight));
    strip.setColor(QPalette::WindowText, strip.color(QPalette::HighlightedText));
    caption_->setPalette(strip);
    QFont bold = caption_->font();
    bold.setBold(true);
    caption_->setFont(bold);
    caption_->setContentsMargins(2, 3, 2, 3);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(caption_);
    content_ = new QVBoxLayout;
    content_->setContentsMargins(0, 0, 0, 0);
    content_->setSpacing(0);
    layout->addLayout(content_, 1);
}

TMyRectangle::TMyRectangle(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::HLine);
    setFrameShadow(QFrame::Plain);
    setFixedHeight(1);
}
