#include "ScreenshotScenes.h"

#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QWizard>
#include <ctime>
#include <filesystem>

#include "core/settings/SettingsStore.h"
#include "engine/PortDetector.h"
#include "message/SMSMessage.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"
#include "support/ScriptedModem.h"
#include "support/TempDir.h"
#include "transport/AsyncSerialComm.h"
#include "ui/dialogs/common/DialogHost.h"
#include "ui/dialogs/control/ControlDlg.h"
#include "ui/dialogs/control/FolderControlDlg.h"
#include "ui/dialogs/send/SMSSendDlg.h"
#include "ui/dialogs/wizard/PortWizard.h"
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

// The control panel over folders with a few messages, on the default configuration.
struct PanelWorld {
  PanelWorld() {
    settings.loadFromFile(PARLANE_SOURCE_DIR "/data/valtorin.cfg");
    settings.setString("modem.port", u"ttyUSB0");
    for (StoreKind kind : kAllStores) {
      settings.setString(std::u16string(storeName(kind)) + u".filename", storeName(kind) + u".txt");
    }
    stores = std::make_unique<MessageStores>(settings, folder.path(), 0);
    stores->open();
    const std::time_t now = std::time(nullptr);
    const struct {
      const char16_t* number;
      const char16_t* text;
      int minutesAgo;
    } messages[] = {
        {u"+4917012345678", u"Running late, be there at 7. Keep the table please!", 5},
        {u"+4915198765432", u"Your parcel 4711 is ready for pick-up at the counter.", 42},
        {u"+4930123456", u"Meeting moved to Thursday 10:00, room 2.14.", 180},
    };
    for (const auto& m : messages) {
      SMSMessage incoming(m.number, u"", m.text);
      incoming.timestamp = now - m.minutesAgo * 60;
      stores->inbox().put(incomingRecord(incoming, false, stores->inbox().newIdText()));
      SMSMessage sent(u"", m.number, u"Thanks, noted.");
      sent.timestamp = now - m.minutesAgo * 60 + 30;
      sent.refid = 17 + m.minutesAgo % 50;
      stores->sent().put(outgoingRecord(sent, StoreKind::Sent, stores->sent().newIdText()));
    }
    // A sender that is a name: no reply can reach it.
    SMSMessage bank(u"MyBank", u"", u"Your statement for November is ready in online banking.");
    bank.timestamp = now - 300 * 60;
    bankKey = stores->inbox().newIdText();
    stores->inbox().put(incomingRecord(bank, false, bankKey));
    SMSMessage queued(u"", u"+4917099999", u"Reminder: the office is closed on Friday.");
    queued.timestamp = now;
    stores->outbox().put(outgoingRecord(queued, StoreKind::Outbox, stores->outbox().newIdText()));
    channel = std::make_unique<AsyncSerialComm>(settings);
  }
  static PanelWorld& get() {
    static PanelWorld world;
    return world;
  }

  test::TempDir folder;
  SettingsStore settings;
  std::u16string bankKey;
  std::unique_ptr<MessageStores> stores;
  std::unique_ptr<AsyncSerialComm> channel;
};

// What start-up always gives the panel, so that its buttons look as in the running program.
ControlHooks shownHooks() {
  ControlHooks hooks;
  hooks.openMessage = [](StoreKind, const DatabaseRecord&) {};
  hooks.openHelp = [](int) {};
  return hooks;
}

std::function<std::unique_ptr<QWidget>()> controlPanelOn(ControlDlg::Page page) {
  return [page] {
    PanelWorld& world = PanelWorld::get();
    auto panel = std::make_unique<ControlDlg>(
        ControlParts{world.settings, *world.stores, *world.channel, nullptr, shownHooks()});
    panel->selectPage(page);
    return panel;
  };
}

// The inbox with the bank's message selected: "Reply" is disabled, its tool tip says why.
std::unique_ptr<QWidget> inboxReplyToAName() {
  PanelWorld& world = PanelWorld::get();
  ControlHooks hooks = shownHooks();
  hooks.reply = [](const std::u16string&) {};
  auto panel = std::make_unique<ControlDlg>(
      ControlParts{world.settings, *world.stores, *world.channel, nullptr, std::move(hooks)});
  panel->selectPage(ControlDlg::Inbox);
  FolderControlDlg& page = panel->folderPage(ControlDlg::Inbox);
  page.selectKeys({world.bankKey});
  return panel;
}

}  // namespace

std::vector<Scene> scenes() {
  return {
      {"main-screen", mainScreen},
      {"tray-menu", trayMenu},
      {"send-sms", sendDialog},
      {"port-wizard", portWizardSelectPage, 5000},
      {"control-sms", controlPanelOn(ControlDlg::Sms)},
      {"control-application", controlPanelOn(ControlDlg::Application)},
      {"control-properties", controlPanelOn(ControlDlg::Properties)},
      {"control-memory", controlPanelOn(ControlDlg::Memory)},
      {"control-inbox", controlPanelOn(ControlDlg::Inbox)},
      {"control-inbox-reply-to-a-name", inboxReplyToAName},
      {"control-outbox", controlPanelOn(ControlDlg::Outbox)},
      {"control-sent", controlPanelOn(ControlDlg::Sent)},
      {"control-failed", controlPanelOn(ControlDlg::Failed)},
      {"control-help", controlPanelOn(ControlDlg::Help)},
  };
}

}  // namespace parlane::shots
