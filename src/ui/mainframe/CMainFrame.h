#pragma once

#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/util/Notifier.h"
#include "engine/MainWindowLink.h"
#include "service/ServiceWindow.h"
#include "ui/mainframe/StatusFileWriter.h"

class QSystemTrayIcon;

namespace parlane {

class AsyncSerialComm;
class CServiceThread;
class GenericMessage;
class MessageStores;
class SettingsStore;
class StartupDlg;
class TrayPresence;
class WelcomeDlg;

// What the main window works with; start-up owns it all.
struct MainFrameParts {
  SettingsStore& settings;
  MessageStores& stores;
  AsyncSerialComm& channel;
  int instance = 0;
  // " instance N", or empty for instance 0: the first "%s" of every title.
  std::u16string instanceSuffix;
  // `noicon`, or nothing to draw on: no tray icon, balloons go to the log.
  bool noIcon = false;
  bool systemProfile = false;
  // Saves the configuration (the status file's name may change for an instance).
  std::function<void()> saveConfiguration;
};

// The hidden main window that lives for the whole run: the tray icon with its menu and balloons,
// the title and tool tip that tell the connection state, the menu commands, the status file, the
// main screen and the welcome screen, and the send path of the dialogs. The service threads, the
// engine and the codec reach it through their interfaces from any thread; whatever touches a
// widget is queued onto the window thread.
class CMainFrame : public QWidget, public ServiceWindow, public MainWindowLink, public Notifier {
  Q_OBJECT
 public:
  // Where balloons go.
  enum class BalloonRoute {
    Log,      // no icon: the log, at level 0
    Tray,     // the tray icon's balloon
    Desktop,  // no tray on this desktop: its notification service (the log without one)
  };
  static constexpr int kBalloonMs = 10000;
  static constexpr int kWelcomeTimerMs = 60000;

  explicit CMainFrame(MainFrameParts parts, QWidget* parent = nullptr);
  ~CMainFrame() override;

  // The service the commands go to; set before the threads start.
  void setService(CServiceThread* service);

  // Creates the window and, unless there is no icon, looks for the tray: `trayAvailable` is asked
  // now and `trayRetries` more times `trayRetryMs` apart; when it never says yes, the main screen
  // shows and balloons become desktop notifications. False when the window can't be created.
  bool create(std::function<bool()> trayAvailable, int trayRetries = 5, int trayRetryMs = 2000);

  // ServiceWindow (any thread).
  void showConnectionState(ConnectionState state, std::u16string_view port) override;
  void balloon(std::u16string_view title, std::u16string_view text) override;
  void postCommand(int commandId) override;
  void writeStatusFile() override;
  void messageReceived(const ReceivedMessageSummary& message) override;
  void memoryMessageFound(std::unique_ptr<GenericMessage> message, bool unread) override;
  // MainWindowLink: the engine's notices (any thread); the main screen looks again.
  void post(int code) override;

  // Window thread from here on.
  // A menu command by its identifier.
  void onCommand(int commandId);
  void showMainScreen();
  void openWelcome();
  // The send path of the dialogs: checks and rewrites each recipient, stores each message in the
  // outbox and queues its id, tells the user when the modem is not connected (or, for a list,
  // how many were queued) and asks for dispatch. A recipient that is no number is refused with a
  // balloon. Returns the number of messages queued.
  int queueMessages(std::vector<std::unique_ptr<GenericMessage>> messages, bool list);
  // A dialog that is not part of this window (control panel, send dialogs) opens through this.
  void setDialogOpener(int commandId, std::function<void()> open);
  // The last message received since start, if any ("View last SMS").
  std::optional<ReceivedMessageSummary> lastReceived() const;

  // What the title and tool tip say now.
  QString title() const;
  QString toolTip() const;
  BalloonRoute balloonRoute() const { return route_.load(); }
  StartupDlg* mainScreen() const;
  WelcomeDlg* welcome() const;
  QMenu& trayMenu() { return trayMenu_; }
  bool welcomeTimerActive() const { return welcomeTimer_.isActive(); }
  // The messages a memory listing found outside the polling cycle (control panel's memory page).
  std::vector<FoundMessage> takeMemoryMessages();
  // Rebuilds the tray menu as a right click does.
  void refreshTrayMenu();

 signals:
  // "Exit": start-up ends the message loop.
  void exitRequested();
  // The window looked again at the connection and the folders (after a burst of notices or a
  // change of state): open dialogs that show them look again too.
  void refreshed();
  // Every balloon as it is shown (tests, the main screen).
  void balloonShown(const QString& title, const QString& text);

 private:
  void trayFound();
  void trayMissing();
  void applyTitle();
  void showBalloonNow(const QString& title, const QString& text);
  void scheduleRefresh();
  void refreshMainScreen();
  void viewLastMessage();
  bool openDialog(int commandId);
  void closeWelcome();
  std::uint32_t windowHandle() const { return handle_.load(); }

  MainFrameParts parts_;
  StatusFileWriter statusWriter_;
  CServiceThread* service_ = nullptr;

  std::atomic<BalloonRoute> route_{BalloonRoute::Log};
  std::atomic<std::uint32_t> handle_{0};
  std::atomic<bool> refreshQueued_{false};

  mutable std::mutex titleMutex_;
  ConnectionState state_ = ConnectionState::Disconnected;
  std::u16string port_;
  std::u16string model_;
  int signalPercent_ = -1;

  std::mutex memoryMutex_;
  std::vector<FoundMessage> memoryMessages_;

  QSystemTrayIcon* tray_ = nullptr;
  TrayPresence* trayPresence_ = nullptr;
  QMenu trayMenu_;
  QPointer<StartupDlg> mainScreen_;
  QPointer<WelcomeDlg> welcome_;
  QTimer welcomeTimer_;
  QTimer refreshTimer_;
  std::vector<std::pair<int, std::function<void()>>> dialogOpeners_;
};

}  // namespace parlane
