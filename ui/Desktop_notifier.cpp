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

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString object = QStringLiteral("/org/freedesktop/Notifications");
const QString desktop_id = QStringLiteral("ru.korvimeta.Dravinex");
// A service that does not answer is given up on after this long.
constexpr int call_timeout_ms = 3000;
constexpr uchar urgency_normal = 1;
constexpr uchar urgency_critical = 2;

QDBusMessage notify_call(const RunNotice& notice)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, object, service, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(notice.failure ? urgency_critical : urgency_normal));
    hints.insert(QStringLiteral("desktop-entry"), desktop_id);
    call << QStringLiteral("Dravinex") << uint(0) << desktop_id << QString::fromStdString(notice.title)
         << QString::fromStdString(platform::notification_markup(notice.body)) << QStringList() << hints
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
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify_call(notice), call_timeout_ms), this);
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
