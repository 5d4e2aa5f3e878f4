#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include "OffscreenApp.h"
#include "ui/mainframe/MenuCommand.h"
#include "ui/mainframe/TrayMenu.h"

namespace parlane {
namespace {

struct Entry {
  QString label;
  int id;
  bool enabled;
};

std::vector<Entry> entries(ChannelStatus status, bool portSet) {
  test::offscreenApp();
  QMenu menu;
  menu.addAction(QStringLiteral("left over"));
  fillTrayMenu(menu, status, portSet);
  std::vector<Entry> result;
  for (QAction* action : menu.actions()) {
    result.push_back({action->isSeparator() ? QStringLiteral("-") : action->text(),
                      action->isSeparator() ? 0 : action->data().toInt(), action->isEnabled()});
  }
  return result;
}

TEST(TrayMenu, OrderLabelsAndCommandsByChannelStatus) {
  for (int status = 0; status <= 4; ++status) {
    const bool closed = status == 0 || status == 4;
    const auto menu = entries(static_cast<ChannelStatus>(status), true);
    ASSERT_EQ(menu.size(), 8u) << status;
    const std::pair<const char*, int> expected[] = {
        {"Main window", command::kMainWindow},
        {closed ? "Connect" : "Disconnect", closed ? command::kConnect : command::kDisconnect},
        {"Send SMS", command::kSendSms},
        {"Send over a list", command::kSendList},
        {"Send USSD", command::kSendUssd},
        {"Control panel", command::kControlPanel},
        {"-", 0},
        {"Exit", command::kExit},
    };
    for (std::size_t i = 0; i < 8; ++i) {
      EXPECT_EQ(menu[i].label.toStdString(), expected[i].first) << status << " " << i;
      EXPECT_EQ(menu[i].id, expected[i].second) << status << " " << i;
      EXPECT_TRUE(menu[i].enabled) << status << " " << i;
    }
  }
}

TEST(TrayMenu, WithoutAPortConnectAndSendSmsAreGrayed) {
  for (ChannelStatus status : {ChannelStatus::Closed, ChannelStatus::Error}) {
    const auto menu = entries(status, false);
    for (const auto& entry : menu) {
      const bool grayed = entry.id == command::kConnect || entry.id == command::kSendSms;
      EXPECT_EQ(entry.enabled, !grayed) << entry.label.toStdString();
    }
  }
  // Connected without a port name (it was cleared meanwhile): only "Send SMS" is grayed.
  const auto menu = entries(ChannelStatus::Idle, false);
  EXPECT_EQ(menu[1].id, command::kDisconnect);
  EXPECT_TRUE(menu[1].enabled);
  EXPECT_FALSE(menu[2].enabled);
}

}  // namespace
}  // namespace parlane
