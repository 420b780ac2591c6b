#include "app/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// Urgency levels of the notification protocol.
constexpr uchar kNormal = 1;
constexpr uchar kCritical = 2;

}  // namespace

TDesktopNotifier::TDesktopNotifier(QObject *parent) : QObject(parent) {}

void TDesktopNotifier::Notify(const QString &summary, const QString &body, bool urgent) {
    if (unavailable_) {
        return;
    }
    // A connection of its own, made at the first notice: the toolkit may hold the shared one for
    // its own use (the tray), and the bus to use is the one of the session at this moment.
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                        QStringLiteral("tarvex-notices"));
    if (!bus.isConnected()) {
        const QString error = bus.lastError().message();
        GiveUp(error.isEmpty() ? QStringLiteral("no session bus") : error);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(urgent ? kCritical : kNormal));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("tarvex"));
    // App name, id replaced (none), icon, summary, body, actions (none), hints, time-out
    // (the service's own).
    call << QStringLiteral("Tarvex") << 0u << QStringLiteral("tarvex") << summary << body
         << QStringList() << hints << -1;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *done) {
                const QDBusPendingReply<uint> reply = *done;
                if (reply.isError()) {
                    GiveUp(reply.error().message());
                }
                done->deleteLater();
            });
}

void TDesktopNotifier::GiveUp(const QString &reason) {
    if (unavailable_) {
        return;
    }
    unavailable_ = true;
    emit Unavailable(reason);
}
