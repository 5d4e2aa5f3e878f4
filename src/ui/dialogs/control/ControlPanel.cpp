#include "ui/dialogs/control/ControlPanel.h"

#include "message/GenericMessage.h"
#include "service/CServiceThread.h"
#include "ui/dialogs/control/ControlDlg.h"
#include "ui/mainframe/CMainFrame.h"
#include "ui/mainframe/MenuCommand.h"

namespace parlane {

ControlPanel::ControlPanel(CMainFrame& frame, ControlParts parts)
    : QObject(&frame), frame_(frame), parts_(std::move(parts)) {
  ControlHooks& hooks = parts_.hooks;
  if (!hooks.postCommand) hooks.postCommand = [this](int id) { frame_.postCommand(id); };
  if (!hooks.queueMessage) {
    hooks.queueMessage = [this](std::unique_ptr<GenericMessage> message) {
      std::vector<std::unique_ptr<GenericMessage>> messages;
      messages.push_back(std::move(message));
      return frame_.queueMessages(std::move(messages), false) > 0;
    };
  }
  if (!hooks.takeMemoryMessages) {
    hooks.takeMemoryMessages = [this] { return frame_.takeMemoryMessages(); };
  }
  if (CServiceThread* service = parts_.service) {
    if (!hooks.readMemory) {
      hooks.readMemory = [service](const std::u16string& memory) {
        return service->readModemMemory(memory);
      };
    }
    if (!hooks.deleteFromMemory) {
      hooks.deleteFromMemory = [service](const std::vector<int>& indexes) {
        service->deleteFromModem(indexes);
      };
    }
    if (!hooks.flushMemory) hooks.flushMemory = [service] { service->deleteAllFromModem(); };
  }
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
