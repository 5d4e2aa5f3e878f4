#pragma once

#include "ui/dialogs/control/FolderControlDlg.h"

namespace parlane {

// The "Outbox" page of the control panel.
class OutgoingControlDlg : public FolderControlDlg {
  Q_OBJECT
 public:
  explicit OutgoingControlDlg(ControlParts& parts, QWidget* parent = nullptr);
};

}  // namespace parlane
