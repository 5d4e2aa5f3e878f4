#pragma once

#include <QString>

namespace parlane {

// Shows a notification through the desktop's notification service (org.freedesktop.Notifications
// on the session bus), for desktops without a tray. False when there is no such service.
bool showDesktopNotification(const QString& title, const QString& text, int timeoutMs);

}  // namespace parlane
