#include "ui/mainframe/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace parlane {

bool showDesktopNotification(const QString& title, const QString& text, int timeoutMs) {
  static const QString kService = QStringLiteral("org.freedesktop.Notifications");
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || bus.interface() == nullptr ||
      !bus.interface()->isServiceRegistered(kService).value()) {
    return false;
  }
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/Notifications"),
                                     kService, QStringLiteral("Notify"));
  call << QStringLiteral("Parlane") << 0u << QStringLiteral("parlane") << title << text
       << QStringList() << QVariantMap() << timeoutMs;
  // Nobody waits for the answer: the notification is best effort, like a balloon.
  return bus.send(call);
}

}  // namespace parlane
