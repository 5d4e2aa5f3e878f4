#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace parlane {

// Waits for the desktop's notification area: some desktops bring it up after the programs that
// start with the session, and stock GNOME has none at all. Asks `available` now and then up to
// `retries` more times, `intervalMs` apart; says once which way it went.
class TrayPresence : public QObject {
  Q_OBJECT
 public:
  TrayPresence(std::function<bool()> available, int retries, int intervalMs,
               QObject* parent = nullptr);

  void start();
  // One look (the timer's step; tests call it directly).
  void check();
  bool finished() const { return finished_; }

 signals:
  void found();
  void missing();

 private:
  std::function<bool()> available_;
  int retriesLeft_;
  QTimer timer_;
  bool finished_ = false;
};

}  // namespace parlane
