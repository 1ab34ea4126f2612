// Desktop notifications of the window through Qt D-Bus.
#include "ui/Desktop_notifier.h"

#include "platform/Notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {

namespace service = platform::notification_service;

QDBusMessage notify_call(const platform::DesktopNotification& notification)
{
    const QString name = QString::fromUtf8(service::name);
    QDBusMessage call = QDBusMessage::createMethodCall(name, QString::fromUtf8(service::object), name,
                                                       QString::fromUtf8(service::method));
    const uchar urgency = notification.critical ? service::urgency_critical : service::urgency_normal;
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(urgency));
    hints.insert(QStringLiteral("desktop-entry"), QString::fromStdString(notification.desktop_entry));
    call << QString::fromStdString(notification.app_name) << uint(0) << QString::fromStdString(notification.icon)
         << QString::fromStdString(notification.title)
         << QString::fromStdString(platform::notification_markup(notification.body)) << QStringList() << hints
         << int(-1); // the desktop's own display time
    return call;
}

} // namespace

void DesktopNotifier::show(const RunNotice& notice)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        // Qt's own text of the failure is English; the address is what tells a user why.
        const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        failed(QString::fromUtf8(platform::notification_text::no_session_bus)
               + (address.isEmpty() ? QString::fromUtf8(platform::notification_text::no_bus_address)
                                    : QStringLiteral("по адресу %1 никто не отвечает").arg(QString::fromLocal8Bit(address))));
        return;
    }
    ++waiting_;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify_call(desktop_notification(notice)), service::call_timeout_ms), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* answered) {
        --waiting_;
        if (answered->isError())
            failed(QString::fromUtf8(platform::notification_text::service_failed)
                   + QString::fromStdString(platform::service_error_text(answered->error().name().toStdString())));
        answered->deleteLater();
    });
}

void DesktopNotifier::failed(const QString& why)
{
    if (told_)
        return;
    told_ = true;
    emit not_shown(why);
}
