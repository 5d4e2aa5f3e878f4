#include "ui/dialogs/control/WindowControlHooks.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "message/GenericMessage.h"
#include "service/CServiceThread.h"
#include "ui/dialogs/common/DialogHost.h"
#include "ui/dialogs/common/HelpViewer.h"
#include "ui/mainframe/CMainFrame.h"

namespace parlane {

ControlHooks windowControlHooks(CMainFrame& frame, CServiceThread& service) {
  ControlHooks hooks;
  // The panel asks while the user works in it: it is the active window then.
  hooks.ask = [](const QString& caption, const QString& text) {
    return QMessageBox::question(QApplication::activeWindow(), caption, text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  };
  hooks.tell = [](const QString& caption, const QString& text) {
    QMessageBox::information(QApplication::activeWindow(), caption, text);
  };
  hooks.exportFileName = [](const QString& suggested) {
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), QObject::tr("Export"),
                                        suggested, QStringLiteral("Text files(*.txt)"));
  };
  hooks.openHelp = [](int context) { openHelp(context, DialogHost::desktop()); };
  hooks.postCommand = [&frame](int id) { frame.postCommand(id); };
  hooks.queueMessage = [&frame](std::unique_ptr<GenericMessage> message) {
    std::vector<std::unique_ptr<GenericMessage>> messages;
    messages.push_back(std::move(message));
    return frame.queueMessages(std::move(messages), false) > 0;
  };
  hooks.takeMemoryMessages = [&frame] { return frame.takeMemoryMessages(); };
  hooks.readMemory = [&service](const std::u16string& memory) {
    return service.readModemMemory(memory);
  };
  hooks.deleteFromMemory = [&service](const std::vector<int>& indexes) {
    service.deleteFromModem(indexes);
  };
  hooks.flushMemory = [&service] { service.deleteAllFromModem(); };
  return hooks;
}

}  // namespace parlane
