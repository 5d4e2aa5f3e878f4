#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include "OffscreenApp.h"
#include "ui/mainframe/MenuCommand.h"
#include "ui/mainframe/StartupDlg.h"

namespace parlane {
namespace {

QString allText(const QWidget& widget) {
  QString text;
  for (const QLabel* label : widget.findChildren<QLabel*>()) text += label->text() + "\n";
  return text;
}

TEST(StartupDlg, ShowsStateModemFoldersAndTheLastMessage) {
  test::offscreenApp();
  StartupDlg screen;
  MainScreenView view;
  view.title = u"Parlane (connected to ttyUSB0)";
  view.status = ChannelStatus::Idle;
  view.portSet = true;
  view.model = u"MC35i";
  view.signalPercent = 93;
  view.folderCounts = {4, 2, 17, 1};
  view.receivedCount = 3;
  view.lastFrom = u"+4917012345";
  view.lastTime = 1765334298;
  view.lastText = u"see you at eight";
  screen.showView(view);

  const std::string text = allText(screen).toStdString();
  for (const char* piece : {"Parlane (connected to ttyUSB0)", "MC35i, signal 93%",
                            "Inbox 4, Outbox 2, Sent 17, Failed 1", "+4917012345",
                            "10-12-25 02:38:18", "see you at eight"}) {
    EXPECT_NE(text.find(piece), std::string::npos) << piece << " in\n" << text;
  }
  // Connected: the first button disconnects.
  QSignalSpy commands(&screen, &StartupDlg::commandRequested);
  ASSERT_NE(screen.button(command::kDisconnect), nullptr);
  EXPECT_EQ(screen.button(command::kDisconnect)->text().toStdString(), "Disconnect");
  screen.button(command::kDisconnect)->click();
  for (int id : {command::kSendSms, command::kSendList, command::kSendUssd, command::kViewLastSms,
                 command::kControlPanel, command::kExit}) {
    ASSERT_NE(screen.button(id), nullptr) << id;
    screen.button(id)->click();
  }
  ASSERT_EQ(commands.count(), 7);
  EXPECT_EQ(commands[0][0].toInt(), command::kDisconnect);
  EXPECT_EQ(commands[6][0].toInt(), command::kExit);
}

TEST(StartupDlg, DisconnectedWithoutAPortGraysConnectAndSend) {
  test::offscreenApp();
  StartupDlg screen;
  MainScreenView view;
  view.title = u"Parlane (disconnected)";
  screen.showView(view);
  ASSERT_NE(screen.button(command::kConnect), nullptr);
  EXPECT_FALSE(screen.button(command::kConnect)->isEnabled());
  EXPECT_FALSE(screen.button(command::kSendSms)->isEnabled());
  EXPECT_FALSE(screen.button(command::kViewLastSms)->isEnabled());
  EXPECT_NE(allText(screen).toStdString().find("None since start"), std::string::npos);
  view.portSet = true;
  screen.showView(view);
  EXPECT_TRUE(screen.button(command::kConnect)->isEnabled());
}

}  // namespace
}  // namespace parlane
