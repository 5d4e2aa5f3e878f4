#pragma once

#include "ui/dialogs/control/ControlPage.h"

namespace parlane {

// The help page: the product, its one-line description, its version and the "Help" button.
class HelpControlDlg : public ControlPage {
  Q_OBJECT
 public:
  explicit HelpControlDlg(ControlParts& parts, QWidget* parent = nullptr);
};

}  // namespace parlane
