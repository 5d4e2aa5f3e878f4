#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <regex>
#include <thread>

#include "ControlFixture.h"
#include "MainFrameFixture.h"
#include "message/SMSMessage.h"
#include "storage/MessageRecords.h"
#include "ui/mainframe/MenuCommand.h"
#include "ui/mainframe/StartupDlg.h"
#include "ui/mainframe/TrayPresence.h"
#include "ui/mainframe/WelcomeDlg.h"

namespace parlane {
namespace {

using test::processQueued;

class MainFrameTest : public testing::Test, public test::MainFrameFixture {};

TEST_F(MainFrameTest, StatesFromAServiceThreadReachTitleAndToolTip) {
  CMainFrame& frame = make(false);
  EXPECT_EQ(frame.windowTitle().toStdString(), "Parlane (disconnected)");

  const std::u16string port = u"/dev/serial/by-id/usb-Quortane_GSM_Modem_0123456789-if00-port0";
  std::thread([&] { frame.showConnectionState(ConnectionState::Connecting, port); }).join();
  processQueued();
  const std::string connecting = "Parlane (connecting to " + toUtf8(port) + "...)";
  EXPECT_EQ(frame.windowTitle().toStdString(), connecting);
  EXPECT_EQ(frame.toolTip().toStdString(), connecting.substr(0, 63));

  std::thread([&] { frame.showConnectionState(ConnectionState::Error, u""); }).join();
  processQueued();
  EXPECT_EQ(frame.windowTitle().toStdString(), "Parlane (error)");
  EXPECT_EQ(frame.toolTip().toStdString(), "Parlane (error)");
}

TEST_F(MainFrameTest, InstanceSuffixFillsEveryTitle) {
  test::MainFrameFixture other(5, u" instance 5");
  CMainFrame& frame = other.make(true);
  frame.showConnectionState(ConnectionState::Connected, u"ttyUSB0");
  processQueued();
  EXPECT_EQ(frame.windowTitle().toStdString(), "Parlane instance 5 (connected to ttyUSB0)");
}

// Where a balloon goes: the tray's balloon, the log without an icon, nowhere with
// "disable_bubbles" (while titles still change).
TEST_F(MainFrameTest, BalloonsFollowTheTrayTheLogAndDisableBubbles) {
  {
    CMainFrame& frame = make(false, true);
    EXPECT_EQ(frame.balloonRoute(), CMainFrame::BalloonRoute::Tray);
    QSignalSpy shown(&frame, &CMainFrame::balloonShown);
    std::thread([&] { frame.balloon(u"Connected", u"Parlane is connected to ttyUSB0"); }).join();
    processQueued();
    ASSERT_EQ(shown.count(), 1);
    EXPECT_EQ(shown[0][0].toString().toStdString(), "Connected");
    EXPECT_EQ(shown[0][1].toString().toStdString(), "Parlane is connected to ttyUSB0");

    settings.setInt("disable_bubbles", 1);
    frame.balloon(u"Error sending SMS!", u"Failed to send SMS to 123");
    frame.showConnectionState(ConnectionState::Error, u"");
    processQueued();
    EXPECT_EQ(shown.count(), 1);
    EXPECT_EQ(frame.windowTitle().toStdString(), "Parlane (error)");
    settings.setInt("disable_bubbles", 0);
  }
  {
    CMainFrame& frame = make(true);
    EXPECT_EQ(frame.balloonRoute(), CMainFrame::BalloonRoute::Log);
    std::thread([&] { frame.balloon(u"Got SMS from +4917012345", u"hello there"); }).join();
    EXPECT_NE(log().find("] Got SMS from +4917012345: hello there"), std::string::npos) << log();
    settings.setInt("disable_bubbles", 1);
    frame.balloon(u"Serial port: ttyUSB0", u"quiet please");
    EXPECT_EQ(log().find("quiet please"), std::string::npos);
  }
}

// A desktop without a tray (stock GNOME): the main screen opens, balloons become desktop
// notifications (here, without a session bus, the log), and "Exit" is still reachable.
TEST_F(MainFrameTest, WithoutATrayTheMainScreenShowsAndNoticesStillArrive) {
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  CMainFrame& frame = make(false, false);
  EXPECT_EQ(frame.balloonRoute(), CMainFrame::BalloonRoute::Desktop);
  ASSERT_NE(frame.mainScreen(), nullptr);
  EXPECT_TRUE(frame.mainScreen()->isVisible());
  QSignalSpy shown(&frame, &CMainFrame::balloonShown);
  frame.balloon(u"Delivery report received", u"SMS sent to 123 was delivered successfully");
  processQueued();
  EXPECT_EQ(shown.count(), 1);
  EXPECT_NE(log().find("SMS sent to 123 was delivered successfully"), std::string::npos);

  // Closing the main screen hides it; the window lives on.
  frame.mainScreen()->close();
  processQueued();
  EXPECT_FALSE(frame.mainScreen()->isVisible());
  QSignalSpy exits(&frame, &CMainFrame::exitRequested);
  frame.mainScreen()->button(command::kExit)->click();
  EXPECT_EQ(exits.count(), 1);
}

TEST(MainScreen, AfterDisconnectNoLongerShowsTheModem) {
  test::ControlFixture gateway;
  CMainFrame& frame = gateway.startGateway();
  frame.onCommand(command::kMainWindow);
  ASSERT_NE(frame.mainScreen(), nullptr);
  const auto screenText = [&] {
    QString text;
    for (const QLabel* label : frame.mainScreen()->findChildren<QLabel*>()) text += label->text();
    return text.toStdString();
  };
  frame.onCommand(command::kConnect);
  ASSERT_TRUE(test::eventuallyProcessing([&] {
    return screenText().find("signal") != std::string::npos;
  })) << screenText();
  frame.onCommand(command::kDisconnect);
  ASSERT_TRUE(test::eventuallyProcessing([&] {
    return screenText().find("(disconnected)") != std::string::npos;
  })) << screenText();
  const std::string text = screenText();
  EXPECT_EQ(text.find("signal"), std::string::npos) << text;
  EXPECT_EQ(text.find("Emulator"), std::string::npos) << text;
  EXPECT_NE(text.find("not known"), std::string::npos) << text;
}

// No tray found some seconds after the start: the main screen, shown at the start, does not jump
// in front of the dialog the user opened meanwhile.
TEST_F(MainFrameTest, WithoutATrayTheMainScreenStaysBehindAnOpenDialog) {
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  parts->noIcon = false;
  frame = std::make_unique<CMainFrame>(*parts);
  attachService();
  frame->create([] { return false; }, 2, 500);
  frame->showMainScreen();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame->mainScreen()));
  QDialog dialog;
  dialog.setWindowTitle("Send SMS");
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  const char* given = "This desktop shows no tray icons";
  ASSERT_EQ(log().find(given), std::string::npos) << "the tray is still sought";
  ASSERT_TRUE(QTest::qWaitFor([&] { return log().find(given) != std::string::npos; }, 5000));
  processQueued();
  EXPECT_TRUE(frame->mainScreen()->isVisible());
  EXPECT_EQ(QApplication::activeWindow(), &dialog);
}

TEST(TrayPresence, AsksAgainUntilTheTrayAppearsOrTheRetriesRunOut) {
  test::offscreenApp();
  int asked = 0;
  bool available = false;
  TrayPresence presence([&] { return ++asked, available; }, 3, 1'000'000);
  QSignalSpy found(&presence, &TrayPresence::found);
  QSignalSpy missing(&presence, &TrayPresence::missing);
  presence.start();
  presence.check();
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(presence.finished());
  available = true;
  presence.check();
  EXPECT_EQ(found.count(), 1);
  presence.check();
  EXPECT_EQ(asked, 3) << "no look after the answer";

  int looks = 0;
  TrayPresence never([&] { return ++looks, false; }, 3, 1'000'000);
  QSignalSpy gone(&never, &TrayPresence::missing);
  never.start();
  for (int i = 0; i < 5; ++i) never.check();
  EXPECT_EQ(looks, 4) << "the first look and three retries";
  EXPECT_EQ(gone.count(), 1);
  EXPECT_EQ(missing.count(), 0);
}

TEST_F(MainFrameTest, CommandsByNumberFromAnyThread) {
  CMainFrame& frame = make(true);
  QSignalSpy exits(&frame, &CMainFrame::exitRequested);
  std::thread([&] { frame.postCommand(command::kMainWindow); }).join();
  processQueued();
  ASSERT_NE(frame.mainScreen(), nullptr);
  EXPECT_TRUE(frame.mainScreen()->isVisible());

  // Dialogs that are not part of this window open through their openers.
  int opened = 0;
  frame.setDialogOpener(command::kSendUssd, [&] { ++opened; });
  frame.onCommand(command::kSendUssd);
  EXPECT_EQ(opened, 1);
  frame.setDialogOpener(command::kPortWizard, [&] { opened += 10; });
  frame.onCommand(command::kPortWizard);
  EXPECT_EQ(opened, 11);
  frame.onCommand(command::kControlPanel);
  EXPECT_NE(log().find("Command 32768: its dialog is not part of this build"), std::string::npos);

  frame.postCommand(command::kExit);
  EXPECT_EQ(exits.count(), 0) << "queued, not run at once";
  processQueued();
  EXPECT_EQ(exits.count(), 1);
}

TEST_F(MainFrameTest, TrayMenuIsBuiltAnewFromTheChannelAndThePort) {
  CMainFrame& frame = make(false);
  settings.setString("modem.port", u"");
  frame.refreshTrayMenu();
  auto actions = frame.trayMenu().actions();
  ASSERT_EQ(actions.size(), 8);
  EXPECT_EQ(actions[1]->text().toStdString(), "Connect");
  EXPECT_FALSE(actions[1]->isEnabled());
  settings.setString("modem.port", u"ttyUSB0");
  frame.refreshTrayMenu();
  actions = frame.trayMenu().actions();
  EXPECT_TRUE(actions[1]->isEnabled());
  EXPECT_TRUE(actions[2]->isEnabled());

  QSignalSpy exits(&frame, &CMainFrame::exitRequested);
  frame.trayMenu().actions().back()->trigger();
  EXPECT_EQ(exits.count(), 1);
}

TEST_F(MainFrameTest, StatusFileTellsTheStateTheOutboxAndTheWindow) {
  test::MainFrameFixture other(3, u" instance 3");
  other.settings.setString("status.file", fromUtf8(other.dir.file("zentrad.status")));
  other.settings.setString("modem.port", u"ttyUSB1");
  CMainFrame& frame = other.make(true);
  for (int i = 0; i < 2; ++i) {
    SMSMessage message(u"", u"+4917012345", u"queued");
    other.stores->outbox().put(
        outgoingRecord(message, StoreKind::Outbox, other.stores->outbox().newIdText()));
  }
  std::thread([&] { frame.writeStatusFile(); }).join();
  const std::string line = other.dir.read("zentrad.3.status");
  const std::regex expected(
      "updated: \\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3}; hwnd: [0-9a-f]{8}; pid: " +
      std::to_string(::getpid()) +
      "; instance: 3; port: ttyUSB1; state:disconnected; outbox:2; errors:0");
  EXPECT_TRUE(std::regex_match(line, expected)) << line;
  // The shared name became the instance's own; the configuration is saved on the window thread.
  EXPECT_EQ(toUtf8(other.settings.getString("status.file")), other.dir.file("zentrad.3.status"));
  processQueued();
  EXPECT_EQ(other.saves, 1);
}

TEST_F(MainFrameTest, WelcomeScreenWithItsTimer) {
  CMainFrame& frame = make(true);
  settings.setInt("start.welcome", 1);
  frame.openWelcome();
  ASSERT_NE(frame.welcome(), nullptr);
  EXPECT_TRUE(frame.welcome()->isVisible());
  EXPECT_TRUE(frame.welcomeTimerActive());
  frame.welcome()->dontShowAgain()->setChecked(true);
  frame.welcome()->close();
  processQueued();
  EXPECT_FALSE(frame.welcomeTimerActive());
  EXPECT_EQ(settings.getInt("start.welcome"), 0);
}

TEST_F(MainFrameTest, SendPathRefusesARecipientThatIsNoNumber) {
  CMainFrame& frame = make(true);
  std::vector<std::unique_ptr<GenericMessage>> messages;
  messages.push_back(std::make_unique<SMSMessage>(u"", u"*100#", u"hello"));
  EXPECT_EQ(frame.queueMessages(std::move(messages), false), 0);
  EXPECT_NE(log().find("Invalid recipient number '*100#'"), std::string::npos) << log();
  EXPECT_EQ(stores->outbox().count(), 0u);
}

}  // namespace
}  // namespace parlane

namespace parlane {
namespace {

class SendPathTest : public testing::Test, public test::MainFrameFixture {
 protected:
  std::vector<std::unique_ptr<GenericMessage>> messages(std::initializer_list<const char16_t*> to) {
    std::vector<std::unique_ptr<GenericMessage>> list;
    for (const char16_t* number : to) {
      list.push_back(std::make_unique<SMSMessage>(u"", number, u"see you at eight"));
    }
    return list;
  }
  std::vector<DatabaseRecord> outbox() { return stores->outbox().selectNotEqual(0, u"", 0); }
};

TEST_F(SendPathTest, NotConnectedTheMessageWaitsInTheOutbox) {
  CMainFrame& frame = make(true);
  settings.setString("ton_src_prefix", u"8");
  settings.setString("ton_dst_prefix", u"+7");
  EXPECT_EQ(frame.queueMessages(messages({u"89161234567"}), false), 1);
  const auto records = outbox();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].at(2), u"+79161234567") << "the prefix rule ran once";
  EXPECT_EQ(service->queuedOutgoing(), 1u);
  EXPECT_NE(log().find("Not connected: The modem is not connected. The short message is saved in "
                       "'Outbox' and will be sent immediately after connection."),
            std::string::npos)
      << log();
}

TEST_F(SendPathTest, AMessageTheOutboxCantSaveIsNotQueued) {
  CMainFrame& frame = make(true);
  // The outbox file's name taken by a folder: the outbox can't be written.
  const std::string file = dir.file("outbox.txt");
  std::filesystem::remove(file);
  std::filesystem::create_directory(file);
  EXPECT_EQ(frame.queueMessages(messages({u"+4917012345"}), false), 0);
  EXPECT_EQ(stores->outbox().count(), 0u);
  EXPECT_EQ(service->queuedOutgoing(), 0u);
  EXPECT_NE(log().find("Can't save the outbox"), std::string::npos) << log();
}

TEST_F(SendPathTest, AListWhileConnectedSaysHowManyWereQueued) {
  CMainFrame& frame = make(true);
  channel->setStatus(ChannelStatus::Busy);
  EXPECT_EQ(frame.queueMessages(messages({u"+4917012345", u"bad number", u"+4917054321"}), true),
            2);
  EXPECT_EQ(outbox().size(), 2u);
  EXPECT_NE(log().find("Invalid recipient number 'bad number'"), std::string::npos);
  EXPECT_NE(log().find("Messages are sent: 2 messages are queued for sending."), std::string::npos)
      << log();
  EXPECT_EQ(log().find("Not connected"), std::string::npos);
  // A single message while connected: no balloon at all.
  const auto before = log().size();
  EXPECT_EQ(frame.queueMessages(messages({u"+4917012345"}), false), 1);
  EXPECT_EQ(log().find("queued for sending", before), std::string::npos);
}

}  // namespace
}  // namespace parlane
