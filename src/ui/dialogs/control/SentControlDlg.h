#pragma once

#include "ui/dialogs/control/FolderControlDlg.h"

namespace parlane {

// The "Sent" page of the control panel.
class SentControlDlg : public FolderControlDlg {
  Q_OBJECT
 public:
  explicit SentControlDlg(ControlParts& parts, QWidget* parent = nullptr);
};

}  // namespace parlane
