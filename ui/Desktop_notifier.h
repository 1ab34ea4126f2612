#pragma once
// The window's desktop notifications: the notices of a finished run (extract/Run_notice.h)
// go to org.freedesktop.Notifications on the session bus through Qt D-Bus. The call is
// sent without waiting; its answer arrives on the GUI thread later. A desktop without the
// service or without a session bus is said once, through not_shown(), and never again.

#include "extract/Run_notice.h"

#include <QObject>
#include <QString>

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr) : QObject(parent) {}

    void show(const RunNotice& notice);
    // Calls sent and not yet answered.
    int waiting() const { return waiting_; }

signals:
    // The first notification that could not be shown, and why.
    void not_shown(const QString& why);

private:
    void failed(const QString& why);

    int waiting_ = 0;
    bool told_ = false;
};
