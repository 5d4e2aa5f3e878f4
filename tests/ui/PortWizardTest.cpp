#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <memory>
#include <ostream>

#include "OffscreenApp.h"
#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "engine/PortDetector.h"
#include "support/ScriptedModem.h"
#include "support/TempDir.h"
#include "ui/dialogs/wizard/PortChoice.h"
#include "ui/dialogs/wizard/PortSelectPage.h"
#include "ui/dialogs/wizard/PortWizard.h"

namespace parlane {
namespace {

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

ModemPortInfo entry(const std::string& name, const std::string& port) {
  ModemPortInfo info;
  info.friendlyName = wide(name);
  info.port = wide(port);
  return info;
}

void answerLikeAModem(test::ScriptedModem& modem) {
  modem.on("ATZ", "\r\nOK\r\n");
  modem.on("AT+CSMS=?", "\r\n+CSMS: (0,1)\r\n\r\nOK\r\n");
}

class PortWizardTest : public ::testing::Test {
 protected:
  PortWizardTest() {
    test::offscreenApp();
    settings.setString("modem.init", u"ATZ");
    settings.setInt("modem.baudrate", 9600);
    settings.setInt("modem.default", 0);
  }

  // The wizard on its select page, with the modems of `known` (their ports must open).
  PortSelectPage& openSelectPage() {
    wizard = std::make_unique<PortWizard>(settings, detector, nullptr, byId.path());
    wizard->show();
    wizard->next();
    test::processQueued();
    return *wizard->selectPage();
  }
  QAbstractButton& finish() const { return *wizard->button(QWizard::FinishButton); }
  void closeWarning() {
    if (QMessageBox* box = wizard->selectPage()->warningBox()) box->accept();
    test::processQueued();
  }
  void choose(int row) {
    wizard->selectPage()->modemList()->setCurrentRow(row);
    test::processQueued();
  }
  QStringList listed() const {
    QStringList lines;
    const QListWidget* list = wizard->selectPage()->modemList();
    for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
    return lines;
  }

  SettingsStore settings;
  std::vector<ModemPortInfo> known;
  PortDetector detector{settings, [this] { return known; }};
  test::TempDir byId;
  std::unique_ptr<PortWizard> wizard;
};

TEST_F(PortWizardTest, NoModemsWarnAtOnceAndFinishWaitsForAManualPort) {
  PortSelectPage& page = openSelectPage();
  EXPECT_EQ(wizard->windowTitle().toStdString(), "GSM modem connection wizard");
  ASSERT_NE(page.warningBox(), nullptr);
  EXPECT_TRUE(page.warningBox()->isVisible());
  EXPECT_EQ(page.warningBox()->windowTitle().toStdString(), "Warning");
  EXPECT_EQ(page.warningBox()->text().toStdU16String(), loadString(40206));
  closeWarning();
  EXPECT_FALSE(finish().isEnabled());
  EXPECT_FALSE(page.portBox()->isEnabled());

  page.manualBox()->setChecked(true);
  EXPECT_TRUE(page.portBox()->isEnabled());
  EXPECT_FALSE(page.testButton()->isEnabled());
  EXPECT_FALSE(page.modemList()->isEnabled());
  EXPECT_FALSE(finish().isEnabled()) << "no name in the port box yet";
  EXPECT_EQ(page.portBox()->itemText(0).toStdString(), "ttyUSB0");
  EXPECT_EQ(page.portBox()->itemText(19).toStdString(), "ttyACM9");

  page.portBox()->setEditText(QStringLiteral("ttyUSB3"));
  EXPECT_TRUE(finish().isEnabled());
  finish().click();
  test::processQueued();

  EXPECT_EQ(wizard->result(), QDialog::Accepted);
  EXPECT_EQ(settings.getString("modem.port"), u"ttyUSB3");
  EXPECT_EQ(settings.getString("port.0.name"), u"ttyUSB3");
  // A typed port has no line settings of its own: only "modem.default" changes.
  EXPECT_EQ(settings.getInt("modem.default"), 1);
  EXPECT_EQ(settings.getInt("modem.baudrate"), 9600);
}

TEST_F(PortWizardTest, KnownPortBecomesCurrentWithoutReordering) {
  test::ScriptedModem modem;
  known = {entry("Huawei E620 USB Modem", modem.portPath())};
  const std::vector<std::u16string> recent = {u"ttyUSB0", u"ttyACM0", u"ttyS0",
                                              wide(modem.portPath()), u"ttyUSB1"};
  for (int i = 0; i < 5; ++i) settings.setStringByPattern("port.%d.name", i, recent[i]);

  PortSelectPage& page = openSelectPage();
  EXPECT_EQ(page.warningBox(), nullptr);
  ASSERT_EQ(listed(), QStringList{QString::fromStdString("Huawei E620 USB Modem (" +
                                                         modem.portPath() + ")")});
  EXPECT_FALSE(finish().isEnabled()) << "nothing chosen yet";
  choose(0);
  ASSERT_TRUE(finish().isEnabled());
  finish().click();

  EXPECT_EQ(settings.getString("modem.port"), wide(modem.portPath()));
  EXPECT_EQ(settings.getInt("port.cur"), 3);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(settings.getStringByPattern("port.%d.name", i), recent[i]);
  EXPECT_EQ(settings.getString("port.5.name"), u"");
}

// "Finish" on its own, over the recently used ports.
struct ChoiceCase {
  const char* name;
  std::vector<std::u16string> before;  // port.0.name ...
  ModemPortInfo choice;
  std::vector<std::u16string> after;
  int current;
};

void PrintTo(const ChoiceCase& c, std::ostream* out) { *out << c.name; }

class PortChoiceStore : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(PortChoiceStore, KeepsTheRecentPorts) {
  const ChoiceCase& c = GetParam();
  SettingsStore settings;
  for (std::size_t i = 0; i < c.before.size(); ++i) {
    settings.setStringByPattern("port.%d.name", static_cast<int>(i), c.before[i]);
  }
  settings.setInt("port.cur", 7);
  storePortChoice(settings, c.choice);
  std::vector<std::u16string> after;
  for (int i = 0; i <= kRecentPorts; ++i) {
    after.push_back(settings.getStringByPattern("port.%d.name", i));
  }
  while (!after.empty() && after.back().empty()) after.pop_back();
  EXPECT_EQ(after, c.after);
  EXPECT_EQ(settings.getInt("port.cur"), c.current);
}

std::vector<std::u16string> numbered(int count) {
  std::vector<std::u16string> names;
  for (int i = 0; i < count; ++i) names.push_back(u"ttyUSB" + wide(std::to_string(i)));
  return names;
}

std::vector<std::u16string> withNewInFront(int count) {
  std::vector<std::u16string> names = numbered(count);
  names.insert(names.begin(), u"ttyACM7");
  return names;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortChoiceStore,
    ::testing::Values(ChoiceCase{"KnownStaysInPlace",
                                 {u"a", u"b", u"c", u"ttyACM7", u"d"},
                                 entry("", "ttyACM7"),
                                 {u"a", u"b", u"c", u"ttyACM7", u"d"},
                                 3},
                      ChoiceCase{"NewShiftsTheListDown", numbered(3), entry("", "ttyACM7"),
                                 withNewInFront(3), 0},
                      ChoiceCase{"FirstEver", {}, entry("", "ttyACM7"), {u"ttyACM7"}, 0},
                      // Twenty known ports: the last moves on to index 20, which is never searched.
                      ChoiceCase{"FullListReachesIndexTwenty", numbered(20), entry("", "ttyACM7"),
                                 withNewInFront(20), 0},
                      ChoiceCase{"NoPortNameStoresNothing", {u"a"}, entry("modem", ""), {u"a"}, 7}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

TEST(PortChoice, LineSettingsOfTheModemAreStored) {
  SettingsStore settings;
  ModemPortInfo info = entry("modem", "ttyS1");
  info.hasLineSettings = 1;
  info.baudRate = 57600;
  info.parity = 2;
  info.byteSize = 7;
  info.stopBits = 2;
  info.parityCheck = 1;
  storePortChoice(settings, info);
  EXPECT_EQ(settings.getInt("modem.default"), 0);
  EXPECT_EQ(settings.getInt("modem.baudrate"), 57600);
  EXPECT_EQ(settings.getInt("modem.parity"), 2);
  EXPECT_EQ(settings.getInt("modem.bytesize"), 7);
  EXPECT_EQ(settings.getInt("modem.stopbits"), 2);
  EXPECT_EQ(settings.getInt("modem.fparity"), 1);
}

// A USB modem's ttyUSBn changes when it is plugged in again; its by-id link does not.
TEST_F(PortWizardTest, FinishPrefersTheStableByIdLink) {
  test::ScriptedModem modem;
  test::ScriptedModem other;
  const std::string link = byId.file("usb-HUAWEI_E620_0123456789-if00-port0");
  ASSERT_EQ(::symlink(modem.devicePath().c_str(), link.c_str()), 0);
  ASSERT_EQ(::symlink(other.devicePath().c_str(), byId.file("usb-Other-if00").c_str()), 0);
  known = {entry("Huawei E620 USB Modem", modem.portPath())};

  openSelectPage();
  choose(0);
  finish().click();
  EXPECT_EQ(settings.getString("modem.port"), wide(link));
  EXPECT_EQ(settings.getString("port.0.name"), wide(link));
}

// Without a by-id link the port is stored as listed; being new, it goes in front of the others.
TEST_F(PortWizardTest, NewPortWithoutALinkGoesInFrontOfTheRecentPorts) {
  test::ScriptedModem modem;
  known = {entry("Modem", modem.portPath())};
  settings.setString("port.0.name", u"ttyUSB0");
  settings.setString("port.1.name", u"ttyACM0");
  settings.setInt("port.cur", 1);
  openSelectPage();
  choose(0);
  finish().click();
  EXPECT_EQ(settings.getString("modem.port"), wide(modem.portPath()));
  EXPECT_EQ(settings.getString("port.0.name"), wide(modem.portPath()));
  EXPECT_EQ(settings.getString("port.1.name"), u"ttyUSB0");
  EXPECT_EQ(settings.getString("port.2.name"), u"ttyACM0");
  EXPECT_EQ(settings.getInt("port.cur"), 0);
  EXPECT_EQ(settings.getInt("modem.default"), 1);
}

// The port disappears between the listing and "Test...": it is dropped, the others stay, the
// window is never blocked while the probes run.
TEST_F(PortWizardTest, TestDropsAPortThatDisappeared) {
  test::ScriptedModem first;
  test::ScriptedModem vanishing;
  test::ScriptedModem silent;
  answerLikeAModem(first);
  answerLikeAModem(vanishing);
  silent.setSilent(true);
  known = {entry("First", first.portPath()), entry("Vanishing", vanishing.portPath()),
           entry("Silent", silent.portPath())};
  PortSelectPage& page = openSelectPage();
  ASSERT_EQ(listed().size(), 3);
  vanishing.unplug();

  QSignalSpy finished(&page, &PortSelectPage::testFinished);
  page.testButton()->click();
  EXPECT_TRUE(page.testing());
  EXPECT_FALSE(page.testButton()->isEnabled());
  EXPECT_FALSE(finish().isEnabled());
  EXPECT_NE(QApplication::overrideCursor(), nullptr);
  ASSERT_TRUE(finished.wait(15000));

  EXPECT_EQ(listed(), QStringList{QString::fromStdString("First (" + first.portPath() + ")")});
  EXPECT_EQ(page.warningBox(), nullptr);
  EXPECT_TRUE(page.testButton()->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(vanishing.commands().empty());
}

TEST_F(PortWizardTest, TestWithNothingLeftWarnsAgain) {
  test::ScriptedModem vanishing;
  known = {entry("Vanishing", vanishing.portPath())};
  PortSelectPage& page = openSelectPage();
  ASSERT_EQ(listed().size(), 1);
  vanishing.unplug();

  QSignalSpy warned(&page, &PortSelectPage::warningShown);
  QSignalSpy finished(&page, &PortSelectPage::testFinished);
  page.testButton()->click();
  ASSERT_TRUE(finished.wait(15000));
  EXPECT_TRUE(listed().isEmpty());
  ASSERT_EQ(warned.count(), 1);
  ASSERT_NE(page.warningBox(), nullptr);
  EXPECT_FALSE(finish().isEnabled());
}

// Closing the wizard while a probe waits for a silent modem cuts the search short.
TEST_F(PortWizardTest, ClosingDuringTestStopsTheProbes) {
  std::vector<std::unique_ptr<test::ScriptedModem>> modems;
  for (int i = 0; i < 4; ++i) {
    modems.push_back(std::make_unique<test::ScriptedModem>());
    modems.back()->setSilent(true);
    known.push_back(entry("Silent", modems.back()->portPath()));
  }
  PortSelectPage& page = openSelectPage();
  page.testButton()->click();
  ASSERT_TRUE(modems[0]->waitForCommands(1));
  wizard.reset();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(modems[3]->commands().empty());
}

}  // namespace
}  // namespace parlane
