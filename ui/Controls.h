#pragma once
// The small controls the windows are built from: a panel with a caption strip above its
// content (the left, right and journal panels), and the thin separator line.

#include <QFrame>
#include <QWidget>

class QLabel;
class QVBoxLayout;

class TMyContainer : public QFrame {
    Q_OBJECT
public:
    TMyContainer(const QString& caption, QWidget* parent);
    QLabel* caption_label() const { return caption_; }
    // Where the panel's controls go, below the caption.
    QVBoxLayout* content() const { return content_; }

private:
    QLabel* caption_;
    QVBoxLayout* content_;
};

// A horizontal line of one pixel.
class TMyRectangle : public QFrame {
    Q_OBJECT
public:
    explicit TMyRectangle(QWidget* parent);
};
