#include "ui/mainframe/CMainFrame.h"

#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSystemTrayIcon>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Clock.h"
#include "core/util/StringTable.h"
#include "core/util/TimeFormat.h"
#include "engine/ModemInitializer.h"
#include "message/GenericMessage.h"
#include "service/CServiceThread.h"
#include "service/ServiceState.h"
#include "storage/MessageStores.h"
#include "transport/AsyncSerialComm.h"
#include "ui/mainframe/DesktopNotification.h"
#include "ui/mainframe/GatewayIcon.h"
#include "ui/mainframe/MenuCommand.h"
#include "ui/mainframe/StartupDlg.h"
#include "ui/mainframe/TrayMenu.h"
#include "ui/mainframe/TrayPresence.h"
#include "ui/mainframe/WelcomeDlg.h"
#include "ui/mainframe/WindowTitle.h"

namespace parlane {

namespace {

QString qs(std::u16string_view text) { return QString::fromStdU16String(std::u16string(text)); }

bool isClosed(ChannelStatus status) {
  return status == ChannelStatus::Closed || status == ChannelStatus::Error;
}

}  // namespace

CMainFrame::CMainFrame(MainFrameParts parts, QWidget* parent)
    : QWidget(parent),
      parts_(std::move(parts)),
      statusWriter_(parts_.settings, parts_.instance, parts_.systemProfile, [this] {
        // The status file's name changed for this instance: keep it, saved on the window thread.
        QMetaObject::invokeMethod(
            this,
            [this] {
              if (parts_.saveConfiguration) parts_.saveConfiguration();
            },
            Qt::QueuedConnection);
      }) {
  setAttribute(Qt::WA_QuitOnClose, false);
  connect(&trayMenu_, &QMenu::aboutToShow, this, &CMainFrame::refreshTrayMenu);
  connect(&trayMenu_, &QMenu::triggered, this,
          [this](QAction* action) { onCommand(action->data().toInt()); });
  welcomeTimer_.setInterval(kWelcomeTimerMs);
  connect(&welcomeTimer_, &QTimer::timeout, this, &CMainFrame::closeWelcome);
  // Notices come in bursts (a message sent, filed, the next one dispatched): the main screen
  // looks once per burst.
  refreshTimer_.setSingleShot(true);
  refreshTimer_.setInterval(200);
  connect(&refreshTimer_, &QTimer::timeout, this, &CMainFrame::refreshMainScreen);
}

CMainFrame::~CMainFrame() {
  if (tray_ != nullptr) tray_->hide();
  delete welcome_;
}

StartupDlg* CMainFrame::mainScreen() const { return mainScreen_; }
WelcomeDlg* CMainFrame::welcome() const { return welcome_; }

void CMainFrame::setService(CServiceThread* service) { service_ = service; }

bool CMainFrame::create(std::function<bool()> trayAvailable, int trayRetries, int trayRetryMs) {
  // The native window exists from here on; its id is the status file's "hwnd".
  const WId id = winId();
  handle_.store(static_cast<std::uint32_t>(id));
  applyTitle();
  // The windows carry the icon even without a tray icon.
  QGuiApplication::setWindowIcon(gatewayIcon());
  if (parts_.noIcon) {
    route_.store(BalloonRoute::Log);
    return true;
  }
  // Until the tray shows up, notices go to the desktop's notification service.
  route_.store(BalloonRoute::Desktop);
  trayPresence_ = new TrayPresence(std::move(trayAvailable), trayRetries, trayRetryMs, this);
  connect(trayPresence_, &TrayPresence::found, this, &CMainFrame::trayFound);
  connect(trayPresence_, &TrayPresence::missing, this, &CMainFrame::trayMissing);
  trayPresence_->start();
  return true;
}

void CMainFrame::trayFound() {
  tray_ = new QSystemTrayIcon(gatewayIcon(), this);
  tray_->setContextMenu(&trayMenu_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::DoubleClick) onCommand(command::kMainWindow);
  });
  applyTitle();
  tray_->show();
  route_.store(BalloonRoute::Tray);
}

void CMainFrame::trayMissing() {
  Logger::log(1, std::string("This desktop shows no tray icons: the main window stays open and "
                             "notices go to the desktop's notifications"));
  route_.store(BalloonRoute::Desktop);
  // Seconds after the start the user may be typing in a dialog: the main screen comes up (or
  // stays) behind it rather than taking the focus away.
  QWidget* front = QApplication::activeModalWidget();
  if (front == nullptr) front = QApplication::activeWindow();
  if (front == nullptr || front == mainScreen_) {
    showMainScreen();
    return;
  }
  if (mainScreen_ == nullptr) {
    mainScreen_ = new StartupDlg(this);
    connect(mainScreen_, &StartupDlg::commandRequested, this, &CMainFrame::onCommand);
  }
  refreshMainScreen();
  if (!mainScreen_->isVisible()) {
    mainScreen_->setAttribute(Qt::WA_ShowWithoutActivating);
    mainScreen_->show();
    mainScreen_->setAttribute(Qt::WA_ShowWithoutActivating, false);
    front->raise();
  }
}

QString CMainFrame::title() const {
  std::lock_guard guard(titleMutex_);
  return qs(connectionTitle(state_, parts_.instanceSuffix, port_));
}

QString CMainFrame::toolTip() const { return qs(trayToolTip(title().toStdU16String())); }

void CMainFrame::applyTitle() {
  const QString text = title();
  // Noted in the log too: on a box without a display it is the only place the state shows.
  if (text != windowTitle()) Logger::log(0, u"Title: " + text.toStdU16String());
  setWindowTitle(text);
  if (tray_ != nullptr) tray_->setToolTip(toolTip());
  refreshMainScreen();
}

void CMainFrame::showConnectionState(ConnectionState state, std::u16string_view port) {
  {
    std::lock_guard guard(titleMutex_);
    state_ = state;
    port_ = std::u16string(port);
    // The connected state is shown from the service thread, the initializer's own, right after
    // the series ends: what it found is read there.
    if (state == ConnectionState::Connected && service_ != nullptr) {
      model_ = service_->initializer().model();
      signalPercent_ = static_cast<int>(service_->initializer().signalPercent());
    } else if (state != ConnectionState::Connected) {
      // What the last connection found says nothing of a modem that is no longer connected.
      model_.clear();
      signalPercent_ = -1;
    }
  }
  QMetaObject::invokeMethod(
      this, [this] { applyTitle(); }, Qt::QueuedConnection);
  // What the connection found (model, signal) shows at once.
  scheduleRefresh();
}

void CMainFrame::balloon(std::u16string_view title, std::u16string_view text) {
  if (parts_.settings.getInt("disable_bubbles") != 0) return;
  if (route_.load() == BalloonRoute::Log) {
    Logger::log(0, formatText(u"%s: %s", {std::u16string(title), std::u16string(text)}));
    return;
  }
  QMetaObject::invokeMethod(
      this, [this, t = qs(title), x = qs(text)] { showBalloonNow(t, x); }, Qt::QueuedConnection);
}

void CMainFrame::showBalloonNow(const QString& title, const QString& text) {
  switch (route_.load()) {
    case BalloonRoute::Tray:
      tray_->showMessage(title, text, QSystemTrayIcon::NoIcon, kBalloonMs);
      break;
    case BalloonRoute::Desktop:
      if (showDesktopNotification(title, text, kBalloonMs)) break;
      [[fallthrough]];
    case BalloonRoute::Log:
      Logger::log(0, formatText(u"%s: %s", {title.toStdU16String(), text.toStdU16String()}));
      break;
  }
  emit balloonShown(title, text);
}

void CMainFrame::postCommand(int commandId) {
  QMetaObject::invokeMethod(
      this, [this, commandId] { onCommand(commandId); }, Qt::QueuedConnection);
}

void CMainFrame::writeStatusFile() {
  StatusSnapshot snapshot;
  snapshot.windowHandle = windowHandle();
  snapshot.pid = static_cast<int>(::getpid());
  snapshot.instance = parts_.instance;
  snapshot.port = parts_.settings.getString("modem.port");
  snapshot.status = parts_.channel.getStatus();
  snapshot.outboxCount = parts_.stores.outbox().count();
  snapshot.errors = service_ != nullptr ? service_->state().errorCount() : 0;
  statusWriter_.write(snapshot, Clock::system().wallTime());
}

void CMainFrame::messageReceived(const ReceivedMessageSummary&) { scheduleRefresh(); }

void CMainFrame::memoryMessageFound(std::unique_ptr<GenericMessage> message, bool unread) {
  if (!message) return;
  std::lock_guard guard(memoryMutex_);
  memoryMessages_.push_back(FoundMessage{std::move(message), unread});
}

std::vector<FoundMessage> CMainFrame::takeMemoryMessages() {
  std::lock_guard guard(memoryMutex_);
  return std::exchange(memoryMessages_, {});
}

void CMainFrame::post(int) { scheduleRefresh(); }

void CMainFrame::scheduleRefresh() {
  // At most one call waits in the window's queue, however fast the engine posts.
  if (refreshQueued_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        refreshQueued_.store(false);
        if (!refreshTimer_.isActive()) refreshTimer_.start();
      },
      Qt::QueuedConnection);
}

void CMainFrame::refreshMainScreen() {
  emit refreshed();
  if (mainScreen_ == nullptr) return;
  MainScreenView view;
  {
    std::lock_guard guard(titleMutex_);
    view.title = connectionTitle(state_, parts_.instanceSuffix, port_);
    view.model = model_;
    view.signalPercent = signalPercent_;
  }
  view.status = parts_.channel.getStatus();
  view.portSet = !parts_.settings.getString("modem.port").empty();
  if (service_ != nullptr) {
    view.receivedCount = service_->state().receivedCount();
    if (const auto last = service_->state().lastReceived()) {
      view.lastFrom = last->from;
      view.lastText = last->text;
      view.lastTime = last->time;
    }
  }
  const StoreKind folders[] = {StoreKind::Inbox, StoreKind::Outbox, StoreKind::Sent,
                               StoreKind::Failed};
  for (std::size_t i = 0; i < 4; ++i) {
    if (parts_.stores.isOpen(folders[i]))
      view.folderCounts[i] = parts_.stores.store(folders[i]).count();
  }
  mainScreen_->showView(view);
}

void CMainFrame::refreshTrayMenu() {
  fillTrayMenu(trayMenu_, parts_.channel.getStatus(),
               !parts_.settings.getString("modem.port").empty());
}

void CMainFrame::setDialogOpener(int commandId, std::function<void()> open) {
  dialogOpeners_.emplace_back(commandId, std::move(open));
}

void CMainFrame::onCommand(int commandId) {
  switch (commandId) {
    case command::kMainWindow:
      showMainScreen();
      return;
    case command::kConnect:
      if (service_ != nullptr) service_->requestConnect();
      return;
    case command::kDisconnect:
      if (service_ != nullptr) service_->disconnect();
      scheduleRefresh();
      return;
    case command::kViewLastSms:
      // The view dialog when it is part of this build, else a plain box.
      if (!openDialog(commandId)) viewLastMessage();
      return;
    case command::kExit:
      if (tray_ != nullptr) tray_->hide();
      emit exitRequested();
      return;
    case command::kControlPanel:
    case command::kSendSms:
    case command::kSendList:
    case command::kSendUssd:
    case command::kPortWizard:
      if (!openDialog(commandId)) {
        Logger::log(1,
                    formatText(u"Command %d: its dialog is not part of this build", {commandId}));
      }
      return;
    default:
      return;
  }
}

bool CMainFrame::openDialog(int commandId) {
  for (const auto& [id, open] : dialogOpeners_) {
    if (id == commandId) {
      open();
      return true;
    }
  }
  return false;
}

std::optional<ReceivedMessageSummary> CMainFrame::lastReceived() const {
  if (service_ == nullptr) return std::nullopt;
  return service_->state().lastReceived();
}

void CMainFrame::showMainScreen() {
  if (mainScreen_ == nullptr) {
    mainScreen_ = new StartupDlg(this);
    connect(mainScreen_, &StartupDlg::commandRequested, this, &CMainFrame::onCommand);
  }
  refreshMainScreen();
  mainScreen_->present();
}

void CMainFrame::openWelcome() {
  if (welcome_ == nullptr) {
    welcome_ = new WelcomeDlg(parts_.settings, nullptr);
    welcome_->setAttribute(Qt::WA_DeleteOnClose);
    connect(welcome_, &QDialog::finished, this, [this] { welcomeTimer_.stop(); });
  }
  welcome_->show();
  welcome_->raise();
  welcomeTimer_.start();
}

void CMainFrame::closeWelcome() {
  welcomeTimer_.stop();
  if (welcome_ != nullptr) welcome_->reject();
}

void CMainFrame::viewLastMessage() {
  const auto last = service_ != nullptr ? service_->state().lastReceived()
                                        : std::optional<ReceivedMessageSummary>();
  auto* box = new QMessageBox(
      QMessageBox::Information, tr("Last received message"),
      last ? tr("From %1 at %2:\n\n%3")
                 .arg(qs(last->from), qs(formatDisplayTime(last->time)), qs(last->text))
           : tr("No message has been received since start."),
      QMessageBox::Close, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

int CMainFrame::queueMessages(std::vector<std::unique_ptr<GenericMessage>> messages, bool list) {
  int queued = 0;
  if (service_ != nullptr) {
    // One save of the outbox for them all: a list of thousands is written once, not per message.
    const SubmitResult result = service_->submit(std::move(messages));
    // What the numbers' check said, in the order of the messages.
    auto warning = result.warnings.begin();
    for (const RefusedMessage& refused : result.refused) {
      if (refused.why != SubmitRefusal::BadRecipient && refused.why != SubmitRefusal::NotAllowed)
        continue;
      for (; warning != result.warnings.end() && warning->index < refused.index; ++warning) {
        balloon(loadString(text::kWarning), warning->text);
      }
      Logger::log(2, refused.reason);
      balloon(loadString(text::kWarning), refused.reason);
    }
    for (; warning != result.warnings.end(); ++warning) {
      balloon(loadString(text::kWarning), warning->text);
    }
    if (result.refusedFor(SubmitRefusal::NotSaved)) {
      Logger::log(3, formatText(u"Can't save the outbox; %d messages are not sent",
                                {static_cast<int>(result.refused.size())}));
    }
    queued = static_cast<int>(result.taken());
  }
  if (isClosed(parts_.channel.getStatus())) {
    balloon(loadString(40197), loadString(40198));
  } else if (list) {
    balloon(loadString(40296), formatString(40293, {queued}));
  }
  scheduleRefresh();
  return queued;
}

}  // namespace parlane
