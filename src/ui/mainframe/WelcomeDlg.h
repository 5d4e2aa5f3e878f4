#pragma once

#include <QDialog>

class QCheckBox;

namespace parlane {

class SettingsStore;

// Shown after start while "start.welcome" is set: what the gateway does and where to find it.
// "Do not show welcome screen" clears the setting when the dialog closes.
class WelcomeDlg : public QDialog {
  Q_OBJECT
 public:
  explicit WelcomeDlg(SettingsStore& settings, QWidget* parent = nullptr);

  QCheckBox* dontShowAgain() const { return dontShow_; }

 protected:
  void done(int result) override;

 private:
  SettingsStore& settings_;
  QCheckBox* dontShow_ = nullptr;
};

}  // namespace parlane
