#pragma once

#include <utility>
#include <vector>

#include "ui/dialogs/control/ControlPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace parlane {

// The "Application" page: start-up, notices, numbers, the log, the status file and the folder
// limits.
class AppControlDlg : public ControlPage {
  Q_OBJECT
 public:
  explicit AppControlDlg(ControlParts& parts, QWidget* parent = nullptr);

  void load() override;
  void save() override;

  // The check box stored under a key, for tests; null for an unknown key.
  QCheckBox* checkBox(const char* key) const;
  QComboBox* logLevel() const { return logLevel_; }
  QCheckBox* rotateLog() const { return rotateLog_; }
  QSpinBox* logSize() const { return logSize_; }
  QCheckBox* limitBoxes() const { return limitBoxes_; }
  QSpinBox* boxSize() const { return boxSize_; }
  QLineEdit* statusFile() const { return statusFile_; }
  QSpinBox* statusTime() const { return statusTime_; }
  // Whether the HTTP door is on and where it listens.
  QLabel* httpDoor() const { return httpDoor_; }

 private:
  void showHttpDoor();

  std::vector<std::pair<const char*, QCheckBox*>> checks_;
  QComboBox* shortTon_ = nullptr;
  QComboBox* longTon_ = nullptr;
  QComboBox* logLevel_ = nullptr;
  QCheckBox* rotateLog_ = nullptr;
  QSpinBox* logSize_ = nullptr;
  QLineEdit* statusFile_ = nullptr;
  QSpinBox* statusTime_ = nullptr;
  QCheckBox* limitBoxes_ = nullptr;
  QSpinBox* boxSize_ = nullptr;
  QLabel* httpDoor_ = nullptr;
};

}  // namespace parlane
