#include "app/SignalBridge.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace parlane {

namespace {

int wakePipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int signalNumber) {
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
}

}  // namespace

SignalBridge::SignalBridge(QObject* parent) : QObject(parent) {
  if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &SignalBridge::drain);

  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signalNumber, &action, nullptr);
}

SignalBridge::~SignalBridge() {
  for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) std::signal(signalNumber, SIG_DFL);
  if (wakePipe[0] >= 0) {
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
    wakePipe[0] = wakePipe[1] = -1;
  }
}

void SignalBridge::drain() {
  unsigned char byte = 0;
  int last = 0;
  while (::read(wakePipe[0], &byte, 1) == 1) last = byte;
  if (last != 0) emit terminationRequested(last);
}

}  // namespace parlane
