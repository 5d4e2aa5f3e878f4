#pragma once

#include <QObject>

class QSocketNotifier;

namespace parlane {

// Turns SIGTERM, SIGINT and SIGHUP (logout, systemctl stop, Ctrl-C) into a queued call on the
// GUI thread, so that they end the program through the same orderly shut-down as "Exit".
class SignalBridge : public QObject {
  Q_OBJECT
 public:
  explicit SignalBridge(QObject* parent = nullptr);
  ~SignalBridge() override;

 signals:
  void terminationRequested(int signalNumber);

 private:
  void drain();

  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace parlane
