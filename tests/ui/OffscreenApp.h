#pragma once

#include <QApplication>
#include <cstdlib>

namespace parlane::test {

// The one QApplication of a ui test program, on Qt's offscreen platform so that no display is
// needed.
inline QApplication& offscreenApp() {
  static QApplication* app = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "ui_test";
    static char* argv[] = {name, nullptr};
    auto* created = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return created;
  }();
  return *app;
}

// Runs the queued calls posted so far (and the ones they post).
inline void processQueued() {
  offscreenApp();
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace parlane::test
