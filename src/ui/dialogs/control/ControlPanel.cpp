#include "ui/dialogs/control/ControlPanel.h"

#include "ui/dialogs/control/ControlDlg.h"
#include "ui/mainframe/CMainFrame.h"
#include "ui/mainframe/MenuCommand.h"

namespace parlane {

ControlPanel::ControlPanel(CMainFrame& frame, ControlParts parts)
    : QObject(&frame), frame_(frame), parts_(std::move(parts)) {
  connect(&frame_, &CMainFrame::refreshed, this, [this] {
    if (dialog_ != nullptr && dialog_->isVisible()) dialog_->refreshPages();
  });
}

ControlPanel::~ControlPanel() { delete dialog_; }

void ControlPanel::install() {
  frame_.setDialogOpener(command::kControlPanel, [this] { open(); });
}

ControlDlg* ControlPanel::dialog() const { return dialog_; }

void ControlPanel::open(int page) {
  if (dialog_ == nullptr) dialog_ = new ControlDlg(parts_);
  dialog_->present(page);
}

}  // namespace parlane
