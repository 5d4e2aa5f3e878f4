#pragma once

#include "ui/dialogs/control/FolderControlDlg.h"

namespace parlane {

// The "Inbox" page of the control panel.
class IncomingControlDlg : public FolderControlDlg {
  Q_OBJECT
 public:
  explicit IncomingControlDlg(ControlParts& parts, QWidget* parent = nullptr);
};

}  // namespace parlane
