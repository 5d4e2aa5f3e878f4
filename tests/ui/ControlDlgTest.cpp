#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <functional>
#include <optional>
#include <string>

#include "ControlFixture.h"
#include "ui/dialogs/control/AppControlDlg.h"
#include "ui/dialogs/control/CommonControlDlg.h"
#include "ui/dialogs/control/PropertiesControlDlg.h"
#include "ui/mainframe/MenuCommand.h"

namespace parlane {
namespace {

using test::processQueued;

class ControlDlgTest : public testing::Test, public test::ControlFixture {};

const std::pair<std::string, std::string> kReconnectQuestion{
    "Modem settings were changed",
    "You have made changes which will be active after the reconnection.\nDo you wish to "
    "reconnect the modem?"};

// One edit on the "SMS" page and whether OK, with the modem connected, offers to reconnect.
struct SmsEdit {
  const char* name;
  std::function<void(CommonControlDlg&)> edit;
  bool asks;
};

void PrintTo(const SmsEdit& edit, std::ostream* out) { *out << edit.name; }

class SmsPageEdit : public ControlDlgTest, public testing::WithParamInterface<SmsEdit> {};

TEST_P(SmsPageEdit, OkOffersReconnectionOnlyForConnectionSettings) {
  channel->setStatus(ChannelStatus::Idle);
  ControlDlg& dlg = panel();
  GetParam().edit(dlg.smsPage());
  dlg.ok();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(saves, 1);
  if (GetParam().asks) {
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], kReconnectQuestion);
    EXPECT_EQ(posted, (std::vector<int>{command::kDisconnect, command::kConnect}));
  } else {
    EXPECT_TRUE(questions.empty());
    EXPECT_TRUE(posted.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Edits, SmsPageEdit,
    testing::Values(
        SmsEdit{"Pause", [](CommonControlDlg& p) { p.delay()->setValue(2500); }, false},
        SmsEdit{"Nothing", [](CommonControlDlg&) {}, false},
        SmsEdit{"Port", [](CommonControlDlg& p) { p.port()->setEditText("ttyACM3"); }, true},
        SmsEdit{"Timeout", [](CommonControlDlg& p) { p.timeout()->setValue(20); }, true},
        SmsEdit{"SendMode", [](CommonControlDlg& p) { p.sendMode()->setCurrentIndex(1); }, true},
        SmsEdit{"Pin",
                [](CommonControlDlg& p) {
                  p.usePin()->setChecked(true);
                  p.pin()->setText("1234");
                },
                true},
        SmsEdit{"PortBackToItself",
                [](CommonControlDlg& p) {
                  p.port()->setEditText("ttyACM3");
                  p.port()->setEditText("ttyEMU");
                },
                false}),
    [](const testing::TestParamInfo<SmsEdit>& info) { return std::string(info.param.name); });

TEST_F(ControlDlgTest, OnlyThePauseChangedIsSavedWithoutAQuestion) {
  channel->setStatus(ChannelStatus::Busy);
  ControlDlg& dlg = panel();
  dlg.smsPage().delay()->setValue(2500);
  dlg.ok();
  EXPECT_EQ(settings.getInt("sender.delay"), 2500);
  EXPECT_TRUE(questions.empty());
  // "sender.timeout" unchanged to the millisecond, though the page shows seconds.
  EXPECT_EQ(settings.getInt("sender.timeout"), 3000);
}

TEST_F(ControlDlgTest, NoQuestionWhileDisconnectedAndNoReconnectionOnNo) {
  ControlDlg& dlg = panel();
  dlg.smsPage().port()->setEditText("ttyACM3");
  dlg.apply();
  EXPECT_TRUE(questions.empty()) << "the channel is closed";
  EXPECT_EQ(toUtf8(settings.getString("modem.port")), "ttyACM3");
  EXPECT_TRUE(dlg.isVisible()) << "Apply keeps the panel open";

  channel->setStatus(ChannelStatus::Configuring);
  yes = false;
  dlg.smsPage().port()->setEditText("ttyACM4");
  dlg.apply();
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_TRUE(posted.empty());
  EXPECT_EQ(toUtf8(settings.getString("modem.port")), "ttyACM4");
  EXPECT_EQ(saves, 2);
}

// The wizard opened from the panel while connected: a new port is offered for reconnection, as
// one typed on the page is; the same port asks nothing.
struct WizardCase {
  const char* name;
  const char16_t* chosenPort;
  ChannelStatus status;
  bool answer;
  bool asks;
  std::vector<int> posted;
};

void PrintTo(const WizardCase& c, std::ostream* out) { *out << c.name; }

class WizardFromThePanel : public ControlDlgTest, public testing::WithParamInterface<WizardCase> {};

TEST_P(WizardFromThePanel, OffersToReconnectToANewPort) {
  const WizardCase& c = GetParam();
  settings.setInt("modem.default", 1);
  channel->setStatus(c.status);
  yes = c.answer;
  ControlHooks hooks = recordingHooks();
  hooks.connectionWizard = [&] {
    settings.setString("modem.port", c.chosenPort);
    settings.setInt("modem.default", 1);
  };
  ControlDlg dlg(ControlParts{settings, *stores, *channel, nullptr, hooks});
  dlg.present(ControlDlg::Sms);
  QPushButton* wizard = nullptr;
  for (QPushButton* b : dlg.smsPage().findChildren<QPushButton*>()) {
    if (b->text() == QStringLiteral("Connection wizard...")) wizard = b;
  }
  ASSERT_NE(wizard, nullptr);
  wizard->click();
  EXPECT_EQ(toUtf8(settings.getString("modem.port")), toUtf8(c.chosenPort));
  EXPECT_EQ(dlg.smsPage().port()->currentText().toStdU16String(), c.chosenPort);
  if (c.asks) {
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], kReconnectQuestion);
  } else {
    EXPECT_TRUE(questions.empty());
  }
  EXPECT_EQ(posted, c.posted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WizardFromThePanel,
    testing::Values(
        WizardCase{"NewPortYes",
                   u"ttyACM5",
                   ChannelStatus::Idle,
                   true,
                   true,
                   {command::kDisconnect, command::kConnect}},
        WizardCase{"NewPortWhileBusyNo", u"ttyACM5", ChannelStatus::Busy, false, true, {}},
        WizardCase{"SamePort", u"ttyEMU", ChannelStatus::Idle, true, false, {}},
        WizardCase{"NewPortDisconnected", u"ttyACM5", ChannelStatus::Closed, true, false, {}}),
    [](const testing::TestParamInfo<WizardCase>& info) { return std::string(info.param.name); });

TEST_F(ControlDlgTest, ANewPortJoinsTheRecentPorts) {
  ControlDlg& dlg = panel();
  dlg.smsPage().port()->setEditText("/dev/serial/by-id/usb-modem-if00");
  dlg.apply();
  EXPECT_EQ(toUtf8(settings.getString("port.1.name")), "/dev/serial/by-id/usb-modem-if00");
  EXPECT_EQ(settings.getInt("port.cur"), 1);
  dlg.smsPage().port()->setEditText("ttyUSB0");
  dlg.apply();
  EXPECT_EQ(settings.getInt("port.cur"), 0);
  EXPECT_TRUE(settings.getString("port.2.name").empty());
}

TEST_F(ControlDlgTest, CustomInitializationLinesAreNumberedFromZero) {
  ControlDlg& dlg = panel();
  dlg.smsPage().customInit()->setPlainText("AT+CSCS=\"GSM\"\n\nAT^CURC=0\nAT+CLIP=1");
  dlg.apply();
  EXPECT_EQ(toUtf8(settings.getString("modem.custom_init.0")), "AT+CSCS=\"GSM\"");
  EXPECT_EQ(toUtf8(settings.getString("modem.custom_init.1")), "AT^CURC=0");
  EXPECT_EQ(toUtf8(settings.getString("modem.custom_init.2")), "AT+CLIP=1");
  EXPECT_TRUE(settings.getString("modem.custom_init.3").empty());

  dlg.smsPage().customInit()->setPlainText("ATE0");
  dlg.apply();
  EXPECT_EQ(toUtf8(settings.getString("modem.custom_init.0")), "ATE0");
  EXPECT_TRUE(settings.getString("modem.custom_init.1").empty());
  EXPECT_TRUE(settings.getString("modem.custom_init.2").empty());
}

TEST_F(ControlDlgTest, UncheckingRotateLogStoresZeroAndLimitBoxesZeroThreeTimes) {
  settings.setInt("logger.maxsize", 1024);
  for (const char* key : {"inbox.maxrecords", "sent.maxrecords", "failed.maxrecords"}) {
    settings.setInt(key, 500);
  }
  ControlDlg& dlg = panel();
  AppControlDlg& app = dlg.appPage();
  EXPECT_TRUE(app.rotateLog()->isChecked());
  EXPECT_TRUE(app.limitBoxes()->isChecked());
  EXPECT_EQ(app.boxSize()->value(), 500);
  app.rotateLog()->setChecked(false);
  app.limitBoxes()->setChecked(false);
  dlg.ok();
  EXPECT_EQ(settings.getString("logger.maxsize"), u"0");
  for (const char* key : {"inbox.maxrecords", "sent.maxrecords", "failed.maxrecords"}) {
    EXPECT_EQ(settings.getString(key), u"0") << key;
  }

  dlg.present(ControlDlg::Application);
  app.limitBoxes()->setChecked(true);
  app.boxSize()->setValue(2000);
  app.rotateLog()->setChecked(true);
  app.logSize()->setValue(64);
  dlg.apply();
  EXPECT_EQ(settings.getInt("logger.maxsize"), 64);
  for (const char* key : {"inbox.maxrecords", "sent.maxrecords", "failed.maxrecords"}) {
    EXPECT_EQ(settings.getInt(key), 2000) << key;
  }
}

TEST_F(ControlDlgTest, ApplicationPageStoresCheckBoxesAsOneOrZeroAndSetsAutostart) {
  settings.setString("start.bubble", u"7");
  ControlDlg& dlg = panel();
  dlg.appPage().checkBox("autostart")->setChecked(true);
  dlg.appPage().checkBox("disable_bubbles")->setChecked(true);
  dlg.appPage().logLevel()->setCurrentIndex(2);
  dlg.ok();
  EXPECT_EQ(settings.getString("start.bubble"), u"1");
  EXPECT_EQ(settings.getString("disable_bubbles"), u"1");
  EXPECT_EQ(settings.getString("start.connect"), u"0");
  EXPECT_EQ(settings.getInt("logger.level"), 2);
  EXPECT_EQ(autostart, std::vector<bool>{true});
}

TEST_F(ControlDlgTest, CancelWritesNothingAndTheNextOpeningShowsTheStore) {
  ControlDlg& dlg = panel();
  dlg.smsPage().delay()->setValue(4321);
  dlg.appPage().checkBox("start.connect")->setChecked(true);
  dlg.cancel();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(settings.getInt("sender.delay"), 1000);
  EXPECT_EQ(settings.getInt("start.connect"), 0);
  EXPECT_EQ(saves, 0);
  settings.setInt("sender.delay", 777);
  dlg.present();
  EXPECT_EQ(dlg.smsPage().delay()->value(), 777);
}

// An edit made on one page is not lost when OK is pressed on another.
TEST_F(ControlDlgTest, OkOnAnotherPageKeepsTheEditsOfTheSmsPage) {
  ControlDlg& dlg = panel();
  dlg.smsPage().delay()->setValue(2500);
  dlg.selectPage(ControlDlg::Inbox);
  dlg.ok();
  EXPECT_EQ(settings.getInt("sender.delay"), 2500);
}

// What the initialization wrote while the panel was open is not put back to what the page
// showed, and asks for no reconnection.
TEST_F(ControlDlgTest, SettingsTheModemWroteMeanwhileAreKept) {
  channel->setStatus(ChannelStatus::Idle);
  ControlDlg& dlg = panel();
  settings.setInt("sender.read_mode", 2);
  settings.setInt("sender.send_mode", 1);
  dlg.smsPage().delay()->setValue(1500);
  dlg.ok();
  EXPECT_EQ(settings.getInt("sender.read_mode"), 2);
  EXPECT_EQ(settings.getInt("sender.send_mode"), 1);
  EXPECT_TRUE(questions.empty());
}

TEST_F(ControlDlgTest, PropertiesPageShowsWhatTheInitializationFound) {
  ControlDlg& dlg = panel();
  PropertiesControlDlg& page = dlg.propertiesPage();
  for (int i = 0; i < 8; ++i) EXPECT_EQ(page.line(i).toStdString(), "(unknown)") << i;

  ModemProperties found;
  found.known = true;
  found.model = u"MC35i";
  found.signalPercent = 57;
  found.features = 0x1 | 0x2 | 0x8 | 0x20 | 0x400 | 0x800 | 0x2000;
  found.failedChecks = 0x8;
  page.showProperties(found);
  const char* expected[] = {"MC35i", "57%",      "GSM 3.40, phase 2+", "PDU",
                            "store", "(failed)", "by index, all",      "result codes on"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(page.line(i).toStdString(), expected[i]) << i;
  found.features = 0;
  found.failedChecks = 0;
  page.showProperties(found);
  EXPECT_EQ(page.line(2).toStdString(), "(none)");
}

TEST_F(ControlDlgTest, FeatureSwitchesKeepTheBitsTheyDoNotShow) {
  settings.setInt("modem.checks", 0x7FFF);
  settings.setInt("modem.use_features", 1);
  ControlDlg& dlg = panel();
  dlg.propertiesPage().check(0x100)->setChecked(false);
  dlg.propertiesPage().useFeatures()->setChecked(false);
  EXPECT_FALSE(dlg.smsPage().useFeatures()->isChecked()) << "one switch shown on two pages";
  dlg.selectPage(ControlDlg::Properties);
  dlg.ok();
  EXPECT_EQ(settings.getInt("modem.checks"), 0x7FFF & ~0x100);
  EXPECT_EQ(settings.getInt("modem.use_features"), 0);
}

// The whole way: connected over the emulator, the port changed, "Yes": the main window
// disconnects and connects again on the new port.
TEST_F(ControlDlgTest, APortChangeAnsweredYesReconnectsOnTheNewPort) {
  CMainFrame& window = startGateway();
  ControlPanel& host = installPanel([this](ControlHooks& hooks) {
    hooks.ask = [this](const QString& caption, const QString& text) {
      questions.emplace_back(caption.toStdString(), text.toStdString());
      return true;
    };
  });
  window.onCommand(command::kConnect);
  ASSERT_TRUE(test::eventuallyProcessing([&] {
    return window.title() == QStringLiteral("Parlane (connected to ttyEMU)");
  })) << window.title().toStdString();

  window.onCommand(command::kControlPanel);
  ControlDlg* dlg = host.dialog();
  ASSERT_NE(dlg, nullptr);
  EXPECT_TRUE(dlg->isVisible());
  dlg->selectPage(ControlDlg::Properties);
  EXPECT_NE(dlg->propertiesPage().line(0).toStdString(), "(unknown)");
  dlg->smsPage().port()->setEditText("ttyEMU2");
  dlg->ok();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], kReconnectQuestion);
  EXPECT_TRUE(test::eventuallyProcessing([&] {
    return window.title() == QStringLiteral("Parlane (connected to ttyEMU2)");
  })) << window.title().toStdString();
  EXPECT_EQ(saves, 1);
}

struct DoorShownCase {
  std::string name;
  std::optional<HttpDoorShown> door;  // none: the door was not built
  std::string text;
};

void PrintTo(const DoorShownCase& c, std::ostream* os) { *os << c.name; }

class ApplicationPageHttpDoor : public ControlDlgTest,
                                public testing::WithParamInterface<DoorShownCase> {};

TEST_P(ApplicationPageHttpDoor, SaysWhetherItIsOnAndWhereItListens) {
  ControlHooks hooks = recordingHooks();
  if (const std::optional<HttpDoorShown> door = GetParam().door) {
    hooks.httpDoor = [door] { return *door; };
  }
  ControlDlg dlg(ControlParts{settings, *stores, *channel, nullptr, std::move(hooks)});
  dlg.present(ControlDlg::Application);
  EXPECT_EQ(dlg.appPage().httpDoor()->text().toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApplicationPageHttpDoor,
    testing::Values(DoorShownCase{"Off", std::nullopt, "HTTP door: off"},
                    DoorShownCase{"Listening", HttpDoorShown{true, "127.0.0.1:13013", false},
                                  "HTTP door: listening on 127.0.0.1:13013 (HTTP)"},
                    DoorShownCase{"ListeningWithTls", HttpDoorShown{true, "[::1]:8443", true},
                                  "HTTP door: listening on [::1]:8443 (HTTPS)"},
                    DoorShownCase{"NotListening", HttpDoorShown{false, "", false},
                                  "HTTP door: on, not listening (the log says why)"}),
    [](const testing::TestParamInfo<DoorShownCase>& info) { return info.param.name; });

}  // namespace
}  // namespace parlane
