#include "ui/dialogs/common/DialogHost.h"

#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <QUrl>

namespace parlane {

void DialogHost::warning(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::warning(parent, title, text);
}

bool DialogHost::question(QWidget* parent, const QString& title, const QString& text) {
  return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

int DialogHost::run(QDialog& dialog) { return dialog.exec(); }

bool DialogHost::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

DialogHost& DialogHost::desktop() {
  static DialogHost host;
  return host;
}

}  // namespace parlane
