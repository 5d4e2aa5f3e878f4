#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>
#include <vector>

#include "ui/dialogs/common/DialogHost.h"

namespace parlane::test {

// Answers the dialogs' questions at once and runs child dialogs through `onRun`, so that no modal
// loop waits for a person; what was asked and opened is kept.
class RecordingHost : public DialogHost {
 public:
  void warning(QWidget*, const QString& title, const QString& text) override {
    warnings.push_back(title + ": " + text);
  }
  bool question(QWidget*, const QString&, const QString& text) override {
    questions.push_back(text);
    return answer;
  }
  int run(QDialog& dialog) override { return onRun ? onRun(dialog) : QDialog::Rejected; }
  bool openUrl(const QUrl& url) override {
    opened.push_back(url);
    return browserWorks;
  }

  std::vector<QString> warnings;
  std::vector<QString> questions;
  std::vector<QUrl> opened;
  bool answer = true;
  bool browserWorks = true;
  std::function<int(QDialog&)> onRun;
};

}  // namespace parlane::test
