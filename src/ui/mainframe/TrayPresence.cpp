#include "ui/mainframe/TrayPresence.h"

namespace parlane {

TrayPresence::TrayPresence(std::function<bool()> available, int retries, int intervalMs,
                           QObject* parent)
    : QObject(parent), available_(std::move(available)), retriesLeft_(retries) {
  timer_.setInterval(intervalMs);
  connect(&timer_, &QTimer::timeout, this, &TrayPresence::check);
}

void TrayPresence::start() {
  check();
  if (!finished_) timer_.start();
}

void TrayPresence::check() {
  if (finished_) return;
  if (available_()) {
    finished_ = true;
    timer_.stop();
    emit found();
    return;
  }
  if (retriesLeft_-- > 0) return;
  finished_ = true;
  timer_.stop();
  emit missing();
}

}  // namespace parlane
