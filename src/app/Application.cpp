#include "app/Application.h"

#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/Autostart.h"
#include "app/CommandLine.h"
#include "app/InstanceLock.h"
#include "app/LogViewer.h"
#include "app/SignalBridge.h"
#include "app/UserMessage.h"
#include "core/log/Logger.h"
#include "core/settings/ConfigurationChain.h"
#include "core/settings/RegistryHive.h"
#include "core/settings/SettingsStore.h"
#include "core/settings/StartupPaths.h"
#include "core/util/Environment.h"
#include "core/util/Headless.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"
#include "gsm/CodePageCatalogue.h"
#include "message/MessageIdCounter.h"
#include "message/TonAutoRule.h"
#include "service/CServiceThread.h"
#include "service/Gateway.h"
#include "service/HttpDoor.h"
#include "storage/ContentEscaping.h"
#include "storage/FolderSchema.h"
#include "storage/MessageStores.h"
#include "transport/AsyncSerialComm.h"
#include "ui/dialogs/common/DialogHost.h"
#include "ui/dialogs/control/ControlPanel.h"
#include "ui/dialogs/control/WindowControlHooks.h"
#include "ui/dialogs/send/SendDialogs.h"
#include "ui/dialogs/wizard/PortWizard.h"
#include "ui/mainframe/CMainFrame.h"
#include "ui/mainframe/MenuCommand.h"

#ifndef PARLANE_DATA_DIR
#define PARLANE_DATA_DIR "/usr/local/share/parlane"
#endif

namespace parlane {

namespace {

// What the configuration load had to skip goes to the log, or to standard error when there is no
// log (the installer's hook, an empty "logger.common").
void reportNotes(const std::vector<std::string>& notes) {
  for (const std::string& note : notes) {
    if (Logger::global() != nullptr) {
      Logger::log(2, note);
    } else {
      std::fprintf(stderr, "parlane: %s\n", note.c_str());
    }
  }
}

std::string currentDirectory() {
  std::error_code ec;
  auto path = std::filesystem::current_path(ec);
  return ec ? std::string(".") : path.string();
}

// The command line as the process received it, with the program's absolute path first, so that
// the autostart entry starts this very program.
std::string fullCommandLine(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec && !arguments.empty()) arguments[0] = self.string();
  return joinCommandLine(arguments);
}

// With no display there is nothing to draw on: use the offscreen platform and no tray icon, so
// that the gateway runs on a headless box and in CI.
bool prepareHeadless() {
  if (!noDisplayInEnvironment()) return false;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return true;
}

// The objects that live from start-up to shut-down: the gateway and its window.
class Program {
 public:
  Program(StartupOptions options, StartupPaths paths)
      : options_(std::move(options)),
        paths_(std::move(paths)),
        hive_(options_.systemProfile ? RegistryHive::systemAccount()
                                     : RegistryHive::currentUser()) {}

  ~Program() {
    // Every thread has ended (stop()), or none was started. The service thread reports to the
    // window, and the window shows the folders and the channel.
    if (gateway_) gateway_->detach();
    mainFrame_.reset();
    gateway_.reset();
    Logger::setGlobal(nullptr);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The full command line, for the autostart entry the control panel writes.
  void setCommandLine(std::string commandLine) { commandLine_ = std::move(commandLine); }

  // Start-up after the instance lock; false ends the program (with code 0).
  bool start(QApplication& app) {
    const ConfigurationLoad load = loadConfiguration(settings_, hive_, paths_);
    if (load.source == ConfigurationLoad::Source::Failed) {
      showStartupMessage(loadString(text::kError), load.errorText, true);
      return false;
    }
    createFolder(paths_.dataFolder);

    CodePageCatalogue::load();
    // The log starts before the folders are read, so that lines a folder load had to set aside
    // are noted in it.
    startLogger();
    reportNotes(load.notes);

    gateway_ = std::make_unique<Gateway>(
        settings_, GatewayOptions{.dataFolder = paths_.dataFolder, .instance = options_.instance});
    StoreOpenFailure failure;
    if (!gateway_->open(&failure)) {
      showStartupMessage(loadString(text::kError), failure.message(), true);
      gateway_.reset();
      return false;
    }
    MessageIdCounter::loadFrom(settings_, gateway_->stores().largestStoredMessageId());
    TonAutoRule::load(settings_);

    settings_.setInt("autostart", Autostart().query() ? 1 : 0);

    // The main window, then the service thread and its scheduler, which reach the window
    // through its interface.
    MainFrameParts parts{settings_,
                         gateway_->stores(),
                         gateway_->channel(),
                         options_.instance,
                         fromUtf8(paths_.titleSuffix),
                         options_.noIcon || isHeadlessPlatform(),
                         options_.systemProfile,
                         [this] { saveConfiguration(settings_, hive_, paths_); }};
    mainFrame_ = std::make_unique<CMainFrame>(std::move(parts));
    gateway_->attach(*mainFrame_);
    mainFrame_->setService(gateway_->service());
    mainFrame_->setDialogOpener(command::kPortWizard, [this] {
      PortWizard::run(settings_, QApplication::activeWindow());
      mainFrame_->refreshTrayMenu();
    });
    QObject::connect(mainFrame_.get(), &CMainFrame::exitRequested, &app, &QApplication::quit);
    sendDialogs_ = std::make_unique<SendDialogs>(*mainFrame_, settings_,
                                                 gateway_->stores().isOpen(StoreKind::AddressBook)
                                                     ? &gateway_->stores().addressBook()
                                                     : nullptr,
                                                 DialogHost::desktop());
    sendDialogs_->install();
    // The control panel's hooks, set once here: what the window and the service thread serve,
    // then what only start-up has: the autostart entry, the log viewer, the port wizard, the
    // send and view dialogs and the configuration's save.
    ControlHooks controlHooks = windowControlHooks(*mainFrame_, *gateway_->service());
    controlHooks.setAutostart = [line = commandLine_](bool on) { Autostart().set(on, line); };
    controlHooks.viewLog = [this] {
      if (logger_) openLogViewer(settings_, logger_->path());
    };
    controlHooks.connectionWizard = [this] { mainFrame_->onCommand(command::kPortWizard); };
    controlHooks.reply = [this](const std::u16string& number) {
      if (sendDialogs_) sendDialogs_->sendSms(QString::fromStdU16String(number));
    };
    controlHooks.openMessage = [this](StoreKind folder, const DatabaseRecord& record) {
      if (!sendDialogs_) return;
      const auto field = [&](std::u16string_view name) {
        const int at = columnIndex(folder, name);
        return at >= 0 && static_cast<std::size_t>(at) < record.size()
                   ? record[static_cast<std::size_t>(at)]
                   : std::u16string();
      };
      const bool incoming = folder == StoreKind::Inbox;
      sendDialogs_->viewMessage(field(incoming ? u"from" : u"to"), field(u"url"),
                                unescapeContent(field(u"content")), incoming);
    };
    controlHooks.saveConfiguration = [this] { saveConfiguration(settings_, hive_, paths_); };
    if (gateway_->http() != nullptr) {
      controlHooks.httpDoor = [door = gateway_->http()] {
        return HttpDoorShown{door->port() > 0, door->address(), door->tls()};
      };
    }
    // The window owns the panel (a child object of it).
    auto* controlPanel = new ControlPanel(
        *mainFrame_, ControlParts{settings_, gateway_->stores(), gateway_->channel(),
                                  gateway_->service(), controlHooks});
    controlPanel->install();

    // No port yet: the wizard finds one before the window appears. Without a display nobody could
    // answer it, so the gateway says so and runs on, disconnected.
    if (settings_.getString("modem.port").empty()) {
      if (isHeadlessPlatform() || noDisplayInEnvironment()) {
        Logger::log(1, std::string("No modem port is set and there is no display for the port "
                                   "wizard: running disconnected"));
      } else {
        PortWizard::run(settings_, QApplication::activeWindow());
      }
    }
    if (!mainFrame_->create([] { return QSystemTrayIcon::isSystemTrayAvailable(); })) return false;
    gateway_->setWindowLink(mainFrame_.get());

    // Every thread starts only now that every object it uses exists.
    gateway_->start();

    if (settings_.getInt("start.bubble") != 0) {
      mainFrame_->balloon(loadString(text::kStartBalloonTitle),
                          loadString(text::kStartBalloonText));
    }
    mainFrame_->showMainScreen();
    if (settings_.getInt("start.welcome") != 0) mainFrame_->openWelcome();
    // The connect command is the first thing the message loop runs.
    if (settings_.getInt("start.connect") != 0) mainFrame_->postCommand(command::kConnect);
    Logger::log(0, std::string("Parlane started") + paths_.titleSuffix);
    return true;
  }

  // Shut-down: the configuration is saved first, then every thread is asked to stop and joined
  // before the folders are written, so that no worker touches a folder while it is saved.
  void stop() {
    MessageIdCounter::saveTo(settings_);
    if (!saveConfiguration(settings_, hive_, paths_)) {
      Logger::log(3, std::string("Can't save the configuration"));
    }
    gateway_->stop();
    if (!gateway_->stores().saveAll())
      Logger::log(3, std::string("Can't write the message folders"));
    Logger::log(0, std::string("Parlane stopped"));
  }

 private:
  void startLogger() {
    std::string path = toUtf8(settings_.getString("logger.common"));
    path = instanceLogPath(expandEnvironment(path, options_.systemProfile), options_.instance);
    if (path.empty()) return;
    createFolder(std::filesystem::path(path).parent_path().string());
    logger_ = std::make_unique<Logger>(path);
    logger_->applyConfiguredLevel(settings_.getInt("logger.level"));
    logger_->setSizeLimit(settings_.getInt("logger.maxsize"));
    Logger::setGlobal(logger_.get());
  }

  static bool isHeadlessPlatform() {
    return parlane::isHeadlessPlatform(QGuiApplication::platformName().toStdString());
  }

  StartupOptions options_;
  StartupPaths paths_;
  std::string commandLine_;
  RegistryHive hive_;
  SettingsStore settings_;
  std::unique_ptr<Logger> logger_;
  std::unique_ptr<Gateway> gateway_;
  std::unique_ptr<CMainFrame> mainFrame_;
  std::unique_ptr<SendDialogs> sendDialogs_;
};

// The installer's hook: load the configuration through the usual chain and leave it in the
// registry key of the account whose configuration this is (the system account's with
// `cfgservice`).
void runInit(const StartupOptions& options, const StartupPaths& paths) {
  RegistryHive hive =
      options.systemProfile ? RegistryHive::systemAccount() : RegistryHive::currentUser();
  SettingsStore settings;
  const ConfigurationLoad load = loadConfiguration(settings, hive, paths);
  reportNotes(load.notes);
  if (load.source == ConfigurationLoad::Source::Failed) {
    showStartupMessage(loadString(text::kError), load.errorText, true);
    return;
  }
  if (hive.createKey(paths.registryKey)) saveConfiguration(settings, hive, paths);
}

// The system account's hive must exist and be writable for `cfgservice`.
void checkSystemHive() {
  const RegistryHive hive = RegistryHive::systemAccount();
  if (createFolder(hive.folder()) != 0 || ::access(hive.folder().c_str(), R_OK | W_OK) != 0) {
    showStartupMessage(u"", u"Can't open system user key", true);
  }
}

}  // namespace

int runApplication(int argc, char** argv) {
  const std::string commandLine = fullCommandLine(argc, argv);
  const StartupOptions parsed = parseSwitches(splitCommandLine(commandLine));
  if (!parsed.error.empty()) {
    // A mistyped switch would otherwise run another instance than the one asked for.
    std::fprintf(stderr,
                 "parlane: %s\nUsage: parlane [-inst N] [-noicon] [-cfgservice] [-init] "
                 "[-viewauthor]\n",
                 parsed.error.c_str());
    return 2;
  }
  if (parsed.action == StartupOptions::Action::Exit) return 0;

  StartupOptions options = parsed;
  if (prepareHeadless()) options.noIcon = true;

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("parlane"));
  QApplication::setApplicationDisplayName(QStringLiteral("Parlane"));
  QApplication::setDesktopFileName(QStringLiteral("parlane"));
  // Closing a dialog or the small status window never ends the gateway; only "Exit" does.
  QApplication::setQuitOnLastWindowClosed(false);

  if (options.systemProfile) checkSystemHive();
  const StartupPaths paths = makeStartupPaths(options, currentDirectory(), PARLANE_DATA_DIR);

  if (options.action == StartupOptions::Action::ViewAuthor) {
    showStartupMessage(loadString(text::kAppName),
                       u"Parlane, the SMS gateway of Quortane SMS, written by its developers.",
                       false);
    return 0;
  }
  if (options.action == StartupOptions::Action::Init) {
    runInit(options, paths);
    return 0;
  }

  InstanceLock lock;
  switch (lock.acquire(options.instance)) {
    case InstanceLock::Result::Acquired:
      break;
    case InstanceLock::Result::HeldByAnotherCopy:
      return 0;
    case InstanceLock::Result::Failed:
      // Not another copy: something the user has to put right, so say what it is.
      showStartupMessage(loadString(text::kError), fromUtf8(lock.failureText()), true);
      return 1;
  }

  // Installed before start-up so that a signal arriving meanwhile still ends the program in order:
  // it is taken up by the first turn of the event loop.
  SignalBridge terminationSignals;
  QObject::connect(&terminationSignals, &SignalBridge::terminationRequested, &app,
                   &QApplication::quit);

  Program program(options, paths);
  program.setCommandLine(commandLine);
  if (!program.start(app)) return 0;
  app.exec();

  program.stop();
  return 0;
}

}  // namespace parlane
