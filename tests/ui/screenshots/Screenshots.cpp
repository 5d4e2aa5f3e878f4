// Takes the screenshots shown in the README: each window of the gateway as a user meets it, with
// believable content, saved as PNG into the folder given as the argument. Run by
// scripts/screenshots under Xvfb with the real xcb platform, so that the pictures show the same
// widget style and fonts a Linux desktop shows.
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWizard>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "ScreenshotScenes.h"

namespace {

// Lets the window manager-less X server map the window and Qt paint it.
void settle(QWidget& widget, int ms) {
  widget.show();
  widget.raise();
  for (int waited = 0; waited < ms; waited += 20) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(20);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  int failures = 0;
  for (const parlane::shots::Scene& scene : parlane::shots::scenes()) {
    std::unique_ptr<QWidget> widget = scene.make();
    if (!widget) {
      std::fprintf(stderr, "%s: not made\n", scene.name);
      ++failures;
      continue;
    }
    settle(*widget, scene.settleMs);
    const QString path = folder + "/" + QString::fromLatin1(scene.name) + ".png";
    if (!widget->grab().save(path)) {
      std::fprintf(stderr, "%s: can't write %s\n", scene.name, qPrintable(path));
      ++failures;
    } else {
      std::printf("%s\n", qPrintable(path));
    }
    widget->hide();
  }
  return failures == 0 ? 0 : 1;
}
