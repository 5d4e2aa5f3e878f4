#pragma once

#include "ui/dialogs/control/FolderControlDlg.h"

namespace parlane {

// The "Failed" page of the control panel.
class FailedControlDlg : public FolderControlDlg {
  Q_OBJECT
 public:
  explicit FailedControlDlg(ControlParts& parts, QWidget* parent = nullptr);
};

}  // namespace parlane
