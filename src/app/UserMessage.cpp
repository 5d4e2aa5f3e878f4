#include "app/UserMessage.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>

#include "core/util/Headless.h"
#include "core/util/Utf.h"

namespace parlane {

void showStartupMessage(const std::u16string& caption, const std::u16string& text, bool isError) {
  if (isHeadlessPlatform(QGuiApplication::platformName().toStdString())) {
    const std::string line = caption.empty() ? toUtf8(text) : toUtf8(caption) + ": " + toUtf8(text);
    std::fprintf(stderr, "parlane: %s\n", line.c_str());
    return;
  }
  QMessageBox box(isError ? QMessageBox::Critical : QMessageBox::Information,
                  QString::fromStdU16String(caption), QString::fromStdU16String(text),
                  QMessageBox::Ok);
  box.exec();
}

}  // namespace parlane
