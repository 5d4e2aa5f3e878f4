#pragma once

#include <QObject>
#include <memory>

class QSystemTrayIcon;
class QMenu;
class QWidget;

namespace parlane {

// The program's visible presence until the main window arrives: a tray icon with an "Exit" entry,
// or, where the desktop shows no tray, a small window saying the gateway runs. With `noIcon` (and
// on a headless machine) nothing is shown.
class GatewayShell : public QObject {
  Q_OBJECT
 public:
  GatewayShell(const QString& title, bool noIcon, QObject* parent = nullptr);
  ~GatewayShell() override;

  void showBalloon(const QString& title, const QString& text);

 signals:
  void exitRequested();

 private:
  QSystemTrayIcon* tray_ = nullptr;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QWidget> window_;
};

}  // namespace parlane
