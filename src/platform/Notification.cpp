#include "platform/Notification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace tonvola::fs::notification {

void show(const QString &summary, const QString &body)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // The desktop entry lets the desktop show the program's name and icon and group its notices.
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral(TONVOLA_ID)}};
    // Most desktops read the body as simple markup, so a name holding "<" or "&" is escaped.
    message << QStringLiteral("Tonvola") << 0U << QStringLiteral(TONVOLA_ID) << summary << body.toHtmlEscaped()
            << QStringList() << hints << -1;
    QDBusConnection::sessionBus().send(message);
}

} // namespace tonvola::fs::notification
