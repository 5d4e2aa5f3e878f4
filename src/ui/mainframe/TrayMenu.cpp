#include "ui/mainframe/TrayMenu.h"

#include <QAction>
#include <QMenu>

#include "core/util/StringTable.h"
#include "ui/mainframe/MenuCommand.h"

namespace parlane {

namespace {

QAction* addCommand(QMenu& menu, int label, int id) {
  QAction* action = menu.addAction(QString::fromStdU16String(loadString(label)));
  action->setData(id);
  return action;
}

}  // namespace

void fillTrayMenu(QMenu& menu, ChannelStatus status, bool portSet) {
  menu.clear();
  addCommand(menu, 40237, command::kMainWindow);
  if (status == ChannelStatus::Closed || status == ChannelStatus::Error) {
    addCommand(menu, 40021, command::kConnect)->setEnabled(portSet);
  } else {
    addCommand(menu, 40022, command::kDisconnect);
  }
  addCommand(menu, 40023, command::kSendSms)->setEnabled(portSet);
  addCommand(menu, 40295, command::kSendList);
  addCommand(menu, 40207, command::kSendUssd);
  addCommand(menu, 40020, command::kControlPanel);
  menu.addSeparator();
  addCommand(menu, 40025, command::kExit);
}

}  // namespace parlane
