#include "ScreenshotScenes.h"

#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QWizard>
#include <ctime>
#include <filesystem>

#include "core/settings/SettingsStore.h"
#include "engine/PortDetector.h"
#include "support/ScriptedModem.h"
#include "support/TempDir.h"
#include "ui/dialogs/DialogHost.h"
#include "ui/dialogs/PortWizard.h"
#include "ui/dialogs/SMSSendDlg.h"
#include "ui/mainframe/MainScreenView.h"
#include "ui/mainframe/StartupDlg.h"
#include "ui/mainframe/TrayMenu.h"

namespace parlane::shots {
namespace {

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// What the scenes share: a settings store and two modems that answer the wizard's probe, under
// the names a user sees (links in a folder that stands in for /dev).
struct Stage {
  Stage() {
    settings.setString("modem.init", u"ATZ");
    settings.setInt("modem.baudrate", 115200);
    settings.setInt("port.use_prefix", 1);
    settings.setString("port.prefix", wide(dev.path() + "/"));
    for (auto [modem, name] : {std::pair{&usbModem, "ttyUSB0"}, std::pair{&phone, "ttyACM0"}}) {
      modem->on("ATZ", "\r\nOK\r\n");
      modem->on("AT+CSMS=?", "\r\n+CSMS: (0,1)\r\n\r\nOK\r\n");
      std::filesystem::create_symlink(modem->portPath(), dev.file(name));
    }
  }
  static Stage& get() {
    static Stage stage;
    return stage;
  }

  test::TempDir dev;
  SettingsStore settings;
  test::ScriptedModem usbModem;
  test::ScriptedModem phone;
};

std::unique_ptr<QWidget> mainScreen() {
  auto screen = std::make_unique<StartupDlg>();
  MainScreenView view;
  view.title = u"Parlane (connected to ttyUSB0)";
  view.status = ChannelStatus::Idle;
  view.portSet = true;
  view.model = u"MC35i";
  view.signalPercent = 77;
  view.folderCounts = {128, 2, 1450, 3};
  view.receivedCount = 12;
  view.lastFrom = u"+4917012345678";
  view.lastTime = std::time(nullptr) - 300;
  view.lastText = u"Running late, be there at 7. Keep the table please!";
  screen->showView(view);
  return screen;
}

// The tray's menu as it pops up from the icon while connected.
std::unique_ptr<QWidget> trayMenu() {
  auto menu = std::make_unique<QMenu>();
  fillTrayMenu(*menu, ChannelStatus::Idle, true);
  return menu;
}

std::unique_ptr<QWidget> portWizardSelectPage() {
  Stage& stage = Stage::get();
  static PortDetector detector(stage.settings, [&stage] {
    std::vector<ModemPortInfo> modems(2);
    modems[0].friendlyName = u"Siemens MC35i USB";
    modems[0].port = u"ttyUSB0";
    modems[1].friendlyName = u"Nokia 6310i";
    modems[1].port = u"ttyACM0";
    return modems;
  });
  auto wizard = std::make_unique<PortWizard>(stage.settings, detector);
  wizard->show();
  wizard->next();
  return wizard;
}

// A message being written to one number, the counter showing its two parts.
std::unique_ptr<QWidget> sendDialog() {
  auto dialog = std::make_unique<SMSSendDlg>(Stage::get().settings, nullptr, DialogHost::desktop());
  dialog->recipientsBox()->setEditText(QStringLiteral("+4917012345678"));
  dialog->textEdit()->setPlainText(QStringLiteral(
      "Hello from the office! The delivery for order 4711 left the warehouse this morning and "
      "should reach you tomorrow between 9 and 12. Reply STOP to end these messages."));
  return dialog;
}

}  // namespace

std::vector<Scene> scenes() {
  return {
      {"main-screen", mainScreen},
      {"tray-menu", trayMenu},
      {"send-sms", sendDialog},
      {"port-wizard", portWizardSelectPage, 5000},
  };
}

}  // namespace parlane::shots
