#include "service/CServiceThread.h"

#include <algorithm>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "core/util/ThreadName.h"
#include "engine/DeleteCommands.h"
#include "engine/MemoryCommands.h"
#include "engine/ModemInitializer.h"
#include "engine/ModemModes.h"
#include "engine/SmsReceiver.h"
#include "engine/SmsSender.h"
#include "message/ATCommandMessage.h"
#include "service/PoolReturn.h"
#include "service/RecipientCheck.h"
#include "service/ServiceCore.h"
#include "service/ServiceScheduler.h"
#include "storage/MessageStores.h"
#include "transport/AsyncSerialComm.h"
#include "transport/AsyncSerialEmulator.h"
#include "transport/NoticeCodes.h"

namespace parlane {

namespace {

// Internal items: work others ask of the service thread, carried out in queue order (the end
// of a polling cycle after the messages its listing found).
constexpr int kCycleEnd = -1;
constexpr int kDispatch = -2;
constexpr int kPollingStep = -3;
constexpr int kSendPauseEnd = -4;
constexpr int kPanelListing = -5;
constexpr int kDisconnected = -6;
constexpr int kPoolReturnDue = -7;
constexpr int kListAll = 4;
constexpr std::int64_t kWatchdogPeriodMs = 1000;
// What "spool.pool_batch" and "spool.pool_return" mean when they are not set.
constexpr int kDefaultPoolBatch = 2;
constexpr int kDefaultPoolReturnSeconds = 300;

template <typename T>
std::unique_ptr<T> take(ServiceItem& item) {
  auto* held = std::get_if<std::unique_ptr<T>>(&item.payload);
  return held != nullptr ? std::move(*held) : nullptr;
}

// Replies are of use only while something here waits for them: the initializer, a listing of
// the memory, or an unsolicited USSD reply. The others never reach the service queue.
bool awaitsReply(const ServiceCore& core, const AsyncEvent& reply) {
  if (reply.text.rfind(u"+CUSD:", 0) == 0) return true;
  return core.state.initializing() || core.state.memoryReadingState() != kReadingIdle;
}

bool endsCommand(const AsyncEvent& reply) {
  return reply.kind == AsyncEvent::kOk || reply.kind == AsyncEvent::kError ||
         reply.kind == AsyncEvent::kCodedError;
}

}  // namespace

CServiceThread::CServiceThread(const ServiceParts& parts)
    : core_(std::make_unique<ServiceCore>(parts, [this](std::u16string text) {
        push(ServiceItem{notice::kNoticeOnly, 0, std::move(text)});
      })) {
  core_->state.setInitializing(!core_->initializer.isFinished());
  parts.sender.setSink(this);
  parts.receiver.setSink(this);
  parts.receiver.setInitializer(&core_->initializer);
  if (auto* emulator = dynamic_cast<AsyncSerialEmulator*>(&parts.channel)) {
    emulator->setNotificationSink(this);
  }
  parts.channel.setPortFailureListener(
      [this](int errnum) { core_->connection.onPortFailure(errnum); });
  parts.scheduler.setActions(this);
  core_->state.setConnectionListener([this](ConnectionState state) { onConnectionState(state); });
}

CServiceThread::~CServiceThread() {
  stop();
  join();
  const ServiceParts& parts = core_->parts;
  core_->state.setConnectionListener(nullptr);
  parts.scheduler.setActions(nullptr);
  parts.channel.setPortFailureListener(nullptr);
  if (auto* emulator = dynamic_cast<AsyncSerialEmulator*>(&parts.channel)) {
    emulator->setNotificationSink(nullptr);
  }
  parts.receiver.setInitializer(nullptr);
  parts.receiver.setSink(nullptr);
  parts.sender.setSink(nullptr);
}

void CServiceThread::notify(int code, int flag, std::unique_ptr<GenericMessage> payload) {
  push(ServiceItem{code, flag, std::move(payload)});
}

void CServiceThread::notifyReply(int code, int flag, std::unique_ptr<AsyncEvent> reply) {
  if (!reply) return;
  // A call is no reply to anything: it is handled whatever the modem is doing.
  if (code == notice::kCall) {
    push(ServiceItem{code, flag, std::move(reply)});
    return;
  }
  if (!awaitsReply(*core_, *reply)) return;
  // The end of a listing comes from the sending thread, the messages it found from the
  // receiving one: the end goes the receiver's way, behind them, so that a cycle never ends (and
  // its duplicate lists never rotate) before its messages are handled.
  if ((flag & notice::kReplyToMemoryRead) != 0 && (flag & notice::kReplyInLineOrder) == 0 &&
      endsCommand(*reply)) {
    core_->parts.receiver.passOnInLineOrder(code, flag, std::move(reply));
    return;
  }
  push(ServiceItem{code, flag, std::move(reply)});
}

void CServiceThread::push(ServiceItem item) {
  std::lock_guard guard(queueMutex_);
  queue_.push_back(std::move(item));
  queueCondition_.notify_one();
}

void CServiceThread::requestConnect() { push(ServiceItem{notice::kConnectRequest, 0, {}}); }

void CServiceThread::disconnect() {
  core_->connection.disconnect();
  push(ServiceItem{kDisconnected, 0, {}});
}

SubmitResult CServiceThread::submit(std::vector<std::unique_ptr<GenericMessage>> messages,
                                    SubmitBatch batch) {
  SubmitResult result;
  std::vector<const GenericMessage*> accepted;
  std::vector<std::size_t> acceptedAt;
  const RecipientLists lists = RecipientLists::fromSettings(core_->parts.settings);
  std::optional<std::u16string> notAllowed;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (!messages[i]) continue;
    const RecipientCheck check = checkRecipient(*messages[i], core_->parts.settings, lists);
    if (!check.accepted || !check.allowed) {
      const std::u16string reason = check.accepted
                                        ? formatText(u"%s: not allowed", {messages[i]->to})
                                        : formatString(40196, {messages[i]->to});
      result.refused.push_back(RefusedMessage{
          i, check.accepted ? SubmitRefusal::NotAllowed : SubmitRefusal::BadRecipient, reason});
      if (!check.allowed && !notAllowed) notAllowed = reason;
      if (batch == SubmitBatch::AllOrNothing) break;
      continue;
    }
    if (!check.warning.empty()) result.warnings.push_back(SubmitWarning{i, check.warning});
    accepted.push_back(messages[i].get());
    acceptedAt.push_back(i);
  }
  const auto refuseAccepted = [&](SubmitRefusal why, const std::u16string& reason) {
    for (std::size_t i : acceptedAt) result.refused.push_back(RefusedMessage{i, why, reason});
  };
  // A request that names a number it may not send to is refused whole: none of it goes out.
  if (notAllowed || (batch == SubmitBatch::AllOrNothing && !result.refused.empty())) {
    refuseAccepted(SubmitRefusal::Withheld, notAllowed.value_or(result.refused.front().reason));
    return result;
  }
  if (accepted.empty()) return result;
  // Timed from the start of the save: once queued, a message may be sent before queueAll returns.
  const std::int64_t savingMs = core_->parts.clock.monotonicMs();
  for (const GenericMessage* message : accepted) core_->metrics.saved(message->uniqueid, savingMs);
  std::optional<std::vector<std::u16string>> ids = core_->dispatcher.queueAll(accepted);
  if (!ids) {
    for (const GenericMessage* message : accepted) core_->metrics.notSaved(message->uniqueid);
    refuseAccepted(SubmitRefusal::NotSaved, u"The outbox can't be saved");
  } else {
    result.ids = std::move(*ids);
  }
  dispatchNext();
  return result;
}

void CServiceThread::dispatchNext() {
  if (!core_->dispatchPosted.exchange(true)) push(ServiceItem{kDispatch, 0, {}});
}

std::size_t CServiceThread::queuedOutgoing() const { return core_->dispatcher.queuedCount(); }

ServiceMetrics& CServiceThread::metrics() { return core_->metrics; }
ServiceState& CServiceThread::state() { return core_->state; }
const ServiceState& CServiceThread::state() const { return core_->state; }
ModemInitializer& CServiceThread::initializer() { return core_->initializer; }
ServiceScheduler& CServiceThread::scheduler() { return core_->parts.scheduler; }

bool CServiceThread::readModemMemory(const std::u16string& memory) {
  ServiceCore& core = *core_;
  const ChannelStatus status = core.parts.channel.getStatus();
  if (status != ChannelStatus::Idle && status != ChannelStatus::Busy) return false;
  std::unique_ptr<ATCommandMessage> list =
      listMessagesCommand(kListAll, readSendMode(core.parts.settings) == SendMode::kText);
  if (!list) return false;
  std::lock_guard guard(panelMutex_);
  const int state = core.state.memoryReadingState();
  // Its own listing, running or about to start.
  if (state == kReadingPanel || state == kReadingPanelSelecting || core_->panelStarting)
    return false;
  const bool free = state == kReadingIdle && !core.parts.sender.isQueued(list->text);
  // A polling cycle or the listing after connecting reads the memory: after it, not never.
  if (!free && !waitingPanelListing_) {
    Logger::log(0, std::string("Memory listing waits for the one in progress"));
  }
  waitingPanelListing_ = memory;
  core_->panelStarting = free;
  push(ServiceItem{kPanelListing, 0, {}});
  return true;
}

void CServiceThread::startWaitingPanelListing() {
  std::lock_guard guard(panelMutex_);
  if (!waitingPanelListing_) return;
  const ChannelStatus status = core_->parts.channel.getStatus();
  if (status != ChannelStatus::Idle && status != ChannelStatus::Busy) {
    // Disconnected meanwhile: the page's next Refresh asks again.
    waitingPanelListing_.reset();
    core_->panelStarting = false;
    return;
  }
  if (startPanelListing(*waitingPanelListing_)) waitingPanelListing_.reset();
  // Not started: it waits like any other now.
  core_->panelStarting = false;
}

bool CServiceThread::startPanelListing(const std::u16string& memory) {
  ServiceCore& core = *core_;
  std::unique_ptr<ATCommandMessage> list =
      listMessagesCommand(kListAll, readSendMode(core.parts.settings) == SendMode::kText);
  // The same listing queued (the one after connecting lists the whole memory too): this one
  // waits for it.
  if (!list || core.parts.sender.isQueued(list->text)) return false;
  // Only while no polling cycle reads the memory: the listing's replies drive the same state.
  int expected = kReadingIdle;
  if (!core.state.exchangeMemoryReadingState(expected, kReadingPanel)) return false;
  if (!memory.empty() && memory != core.initializer.memoryName(0)) {
    if (std::unique_ptr<ATCommandMessage> select = storageSelectionCommand(
            memory, core.initializer.memoryName(1), core.initializer.memoryName(2))) {
      core.initializer.setMemoryName(0, memory);
      // The selection's OK moves the state on to the listing's.
      core.state.setMemoryReadingState(kReadingPanelSelecting);
      core.parts.sender.enqueue(std::move(select));
    }
  }
  core.parts.sender.enqueue(std::move(list));
  return true;
}

void CServiceThread::deleteFromModem(const std::vector<int>& indexes) {
  for (int index : indexes) core_->parts.sender.enqueue(deleteOneCommand(index));
}

void CServiceThread::deleteAllFromModem() {
  core_->parts.sender.enqueue(deleteAllCommand(core_->parts.settings));
}

void CServiceThread::enablePool(const std::string& folder, int instance) {
  poolReturn_ = std::make_unique<PoolReturn>(folder, instance, core_->parts.stores.outbox(),
                                             core_->dispatcher);
}

void CServiceThread::setOutboxWatch(std::function<void()> watch) {
  outboxWatch_ = std::move(watch);
}

std::size_t CServiceThread::poolRoom() const {
  if (core_->state.connectionState() != ConnectionState::Connected) return 0;
  const int setting = core_->parts.settings.getInt("spool.pool_batch");
  const auto batch = static_cast<std::size_t>(setting > 0 ? setting : kDefaultPoolBatch);
  const std::size_t held = core_->parts.stores.outbox().count();
  return held < batch ? batch - held : 0;
}

std::int64_t CServiceThread::poolReturnMs() const {
  const int seconds = core_->parts.settings.getInt("spool.pool_return");
  return std::int64_t{seconds > 0 ? seconds : kDefaultPoolReturnSeconds} * 1000;
}

void CServiceThread::onConnectionState(ConnectionState state) {
  if (poolReturn_) {
    ServiceScheduler& scheduler = core_->parts.scheduler;
    if (state == ConnectionState::Connected) {
      awaySinceMs_.store(-1);
      scheduler.remove(ServiceScheduler::kPoolReturn);
    } else {
      std::int64_t connected = -1;
      // Counted from the first moment away; a failed reconnect does not start it again.
      if (awaySinceMs_.compare_exchange_strong(connected, core_->parts.clock.monotonicMs())) {
        scheduler.add(ServiceScheduler::kPoolReturn, poolReturnMs(), true);
      }
    }
  }
  if (outboxWatch_) outboxWatch_();
}

void CServiceThread::givePoolBackWhenDue() {
  if (!poolReturn_) return;
  const std::int64_t since = awaySinceMs_.load();
  if (since < 0 || core_->parts.clock.monotonicMs() - since < poolReturnMs()) return;
  poolReturn_->giveBack();
}

void CServiceThread::start() {
  std::lock_guard guard(queueMutex_);
  if (thread_.joinable()) return;
  const ServiceParts& parts = core_->parts;
  if (poolReturn_) {
    // Returns a crash cut short are settled before the outbox is queued.
    poolReturn_->recover();
    // Away from the start until the first connection.
    if (core_->state.connectionState() != ConnectionState::Connected) {
      awaySinceMs_.store(parts.clock.monotonicMs());
      parts.scheduler.add(ServiceScheduler::kPoolReturn, poolReturnMs(), true);
    }
  }
  core_->dispatcher.loadQueue();
  parts.scheduler.setPollingTime(parts.settings.getInt("receiver.polling_time"));
  parts.scheduler.setStatusTime(parts.settings.getInt("status.time"));
  parts.scheduler.add(ServiceScheduler::kWatchdog, kWatchdogPeriodMs, false);
  stop_ = false;
  thread_ = std::thread([this] { run(); });
  nameThread(thread_, "service");
}

void CServiceThread::finishSending() {
  ServiceCore& core = *core_;
  core.dispatcher.stopDispatching();
  // The prompt's reply time-out, then the wait for the send's result (60 s when not set).
  const SettingsStore& settings = core.parts.settings;
  const int sendSeconds = settings.getInt("sender.send_timeout");
  const std::int64_t limitMs = std::max(0, settings.getInt("sender.timeout")) +
                               std::int64_t{sendSeconds > 0 ? sendSeconds : 60} * 1000;
  if (!core.dispatcher.waitSettled(core.parts.clock, core.parts.clock.monotonicMs() + limitMs)) {
    Logger::log(2,
                std::string("A message was still being sent at the stop; it stays in the outbox"));
  }
}

void CServiceThread::stop() {
  core_->connection.stop();
  std::lock_guard guard(queueMutex_);
  stop_ = true;
  queueCondition_.notify_all();
}

void CServiceThread::join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool CServiceThread::runScheduled(int id) {
  ServiceCore& core = *core_;
  switch (id) {
    case ServiceScheduler::kPolling:
      push(ServiceItem{kPollingStep, 0, {}});
      return false;
    case ServiceScheduler::kPollingCycleEnd:
      push(ServiceItem{kCycleEnd, 0, {}});
      return true;
    case ServiceScheduler::kModemReset:
      core.connection.modemReset();
      return false;
    case ServiceScheduler::kStatusFile:
      core.parts.window.writeStatusFile();
      return false;
    case ServiceScheduler::kSendPause:
      push(ServiceItem{kSendPauseEnd, 0, {}});
      return true;
    case ServiceScheduler::kWatchdog:
      core.parts.channel.checkBusy();
      dispatchNext();
      // The tick that runs anyway: a quiet folder costs no wake-up of its own.
      core.parts.stores.compactWhenQuiet(core.parts.clock.monotonicMs());
      return false;
    case ServiceScheduler::kReconnectCheck:
      core.connection.reconnectCheck();
      return false;
    case ServiceScheduler::kPoolReturn:
      push(ServiceItem{kPoolReturnDue, 0, {}});
      return false;
    case ServiceScheduler::kOutboxTimes:
      // The dispatch sets the entry again for the next time, if any.
      dispatchNext();
      return true;
    default:
      return false;
  }
}

void CServiceThread::run() {
  Logger::log(0, std::string("Service thread started"));
  for (;;) {
    ServiceItem item;
    {
      std::unique_lock lock(queueMutex_);
      queueCondition_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      item = std::move(queue_.front());
      queue_.pop_front();
    }
    handle(item);
    startWaitingPanelListing();
  }
}

void CServiceThread::handle(ServiceItem& item) {
  ServiceCore& core = *core_;
  switch (item.code) {
    case notice::kIncoming:
      core.incoming.handle(take<GenericMessage>(item));
      break;
    case notice::kReply:
      if (std::unique_ptr<AsyncEvent> reply = take<AsyncEvent>(item)) {
        core.connection.onReply(*reply, (item.flag & notice::kReplyToMemoryRead) != 0);
      }
      break;
    case notice::kHandled:
      if (std::unique_ptr<GenericMessage> message = take<GenericMessage>(item)) {
        core.sendResults.handle(*message, item.flag);
      }
      // The outbox may hold fewer messages now.
      if (outboxWatch_) outboxWatch_();
      break;
    case notice::kFound:
      handleFound(take<GenericMessage>(item), item.flag == 1);
      break;
    case notice::kConnectRequest:
      core.connection.connect();
      break;
    case notice::kCall:
      if (std::unique_ptr<AsyncEvent> line = take<AsyncEvent>(item)) core.calls.onLine(*line);
      break;
    case kCycleEnd:
      core.connection.endPollingCycle();
      break;
    case kDispatch:
      core_->dispatchPosted.store(false);
      core.dispatcher.dispatchNext();
      break;
    case kPollingStep:
      core.connection.pollingStep();
      break;
    case kSendPauseEnd:
      core.state.setSendPause(false);
      core.dispatcher.dispatchNext();
      break;
    case kDisconnected:
      core.connection.endReading();
      break;
    case kPanelListing:  // started below, once the item in hand is done
      break;
    case kPoolReturnDue:
      givePoolBackWhenDue();
      break;
    default:  // 1030 and anything else: nothing to do but free it
      break;
  }
}

void CServiceThread::handleFound(std::unique_ptr<GenericMessage> message, bool unread) {
  if (!message) return;
  ServiceCore& core = *core_;
  const int state = core.state.memoryReadingState();
  const bool polling = readReadMode(core.parts.settings) == ReadMode::kPolling;
  if ((state & kInCycleBit) != 0 || polling) {
    // Outside polling mode the only cycle is the listing made after connecting: what it finds
    // may have been stored before a crash.
    core.incoming.handle(std::move(message), !polling);
  } else {
    core.parts.window.memoryMessageFound(std::move(message), unread);
  }
}

}  // namespace parlane
