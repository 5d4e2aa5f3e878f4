#pragma once

#include <QObject>
#include <memory>

#include "core/util/Notifier.h"

class QSystemTrayIcon;
class QMenu;
class QWidget;

namespace parlane {

// The program's visible presence until the main window arrives: a tray icon with an "Exit" entry,
// or, where the desktop shows no tray, a small window saying the gateway runs. With `noIcon` (and
// on a headless machine) nothing is shown.
class GatewayShell : public QObject, public Notifier {
  Q_OBJECT
 public:
  GatewayShell(const QString& title, bool noIcon, QObject* parent = nullptr);
  ~GatewayShell() override;

  void balloon(std::u16string_view title, std::u16string_view text) override;

 signals:
  void exitRequested();

 private:
  QSystemTrayIcon* tray_ = nullptr;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QWidget> window_;
};

}  // namespace parlane
