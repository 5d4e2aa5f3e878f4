#pragma once

#include <QString>

class QDialog;
class QUrl;
class QWidget;

namespace parlane {

// What the dialogs ask of the desktop: a warning or a yes/no question in a message box, running a
// child dialog modally, and opening a URL in the default handler. The program uses the desktop
// itself; tests pass a host that answers at once, so that no modal loop waits for a person.
class DialogHost {
 public:
  virtual ~DialogHost() = default;

  virtual void warning(QWidget* parent, const QString& title, const QString& text);
  virtual bool question(QWidget* parent, const QString& title, const QString& text);
  // QDialog::Accepted or QDialog::Rejected.
  virtual int run(QDialog& dialog);
  virtual bool openUrl(const QUrl& url);

  // The host that shows real boxes and dialogs.
  static DialogHost& desktop();
};

}  // namespace parlane
