#include "service/ConnectionManager.h"

#include <algorithm>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/ErrorText.h"
#include "core/util/StringTable.h"
#include "engine/DeleteCommands.h"
#include "engine/MemoryCommands.h"
#include "engine/ModemInitializer.h"
#include "engine/ModemModes.h"
#include "engine/SmsReceiver.h"
#include "engine/SmsSender.h"
#include "engine/UssdReply.h"
#include "service/DuplicateLists.h"
#include "service/OutboxDispatcher.h"
#include "service/PortErrorText.h"
#include "service/ServiceScheduler.h"
#include "service/ServiceState.h"
#include "transport/AsyncEvent.h"
#include "transport/AsyncSerialComm.h"

#ifndef PARLANE_VERSION
#define PARLANE_VERSION "0"
#endif

namespace parlane {

namespace {

// Listing statuses: unread and read messages.
constexpr int kListUnread = 0;
constexpr int kListRead = 1;
constexpr int kListAll = 4;
constexpr int kInvalidMemoryIndex = 321;  // "+CMS ERROR: 321"
// The listing made after connecting in the notify modes ends no sooner than this, so that the
// receiving thread has handed over every message it found before the cycle closes.
constexpr std::int64_t kConnectListingSettleMs = 1000;

bool isUssdLine(const AsyncEvent& reply) {
  return reply.text.rfind(u"+CUSD:", 0) == 0 && !ModemInitializer::isUssdTestResponse(reply);
}

}  // namespace

ConnectionManager::ConnectionManager(Parts parts) : p_(std::move(parts)) {}

std::u16string ConnectionManager::port() const {
  std::lock_guard guard(portMutex_);
  return port_;
}

void ConnectionManager::showState(ConnectionState state) {
  p_.state.setConnectionState(state);
  p_.window.showConnectionState(state, port());
}

void ConnectionManager::connect() {
  Logger::log(0, formatString(40234, {std::u16string(u"" PARLANE_VERSION)}));
  const std::u16string port = p_.settings.getString("modem.port");
  {
    std::lock_guard guard(portMutex_);
    port_ = port;
  }
  const int connectTimeout = p_.settings.getInt("sender.timeout.connect");
  p_.channel.setReplyTimeout(connectTimeout > 0 ? connectTimeout
                                                : p_.settings.getInt("sender.timeout"));
  // What waits for the sender belongs to the earlier connection; emptied before the port opens,
  // so that the sending thread takes none of it once the open wakes it.
  p_.sender.clear();
  p_.dispatcher.returnInFlight();
  if (!p_.channel.open(port)) {
    failOpen(port, false);
    return;
  }
  if (p_.settings.getInt("modem.default") == 0) {
    const bool configured =
        p_.channel.configure(static_cast<std::uint32_t>(p_.settings.getInt("modem.baudrate")),
                             static_cast<std::uint8_t>(p_.settings.getInt("modem.parity")),
                             static_cast<std::uint8_t>(p_.settings.getInt("modem.bytesize")),
                             static_cast<std::uint8_t>(p_.settings.getInt("modem.stopbits")),
                             static_cast<std::uint8_t>(p_.settings.getInt("modem.fparity")));
    if (!configured) {
      failOpen(port, true);
      return;
    }
    Logger::log(0, formatString(40015, {port}));
  }
  const auto timeout = [this](const char* key) {
    return static_cast<std::uint32_t>(p_.settings.getInt(key));
  };
  if (!p_.channel.setTimeouts(timeout("modem.timeout.wttm"), timeout("modem.timeout.wtc"),
                              timeout("modem.timeout.rit"), timeout("modem.timeout.rttm"),
                              timeout("modem.timeout.rttc"))) {
    failOpen(port, true);
    return;
  }
  Logger::log(0, loadString(40016));

  // Connect mode.
  p_.channel.setStatus(ChannelStatus::Configuring);
  p_.sender.clear();
  p_.state.setMemoryReadingState(kReadingIdle);
  p_.state.setInitializing(true);
  deleteAllAtCycleEnd_.store(false);
  p_.initializer.reset(p_.settings.getInt("modem.use_features"),
                       static_cast<std::uint32_t>(p_.settings.getInt("modem.checks")));
  showState(ConnectionState::Connecting);
  if (p_.initializer.step(AsyncEvent(AsyncEvent::kOk, 0, u"OK", "OK"))) initializationFinished();
}

void ConnectionManager::failOpen(const std::u16string& port, bool opened) {
  const int error = p_.channel.lastError();
  // A port opened but not set up is closed again, so that the next attempt starts afresh.
  if (opened) p_.channel.close();
  const std::u16string message = portOpenFailureText(error, port);
  p_.window.balloon(formatString(40009, {port}), message);
  Logger::log(3, formatString(40009, {message}));
  if (p_.channel.getStatus() != ChannelStatus::Error) p_.channel.setStatus(ChannelStatus::Error);
  showState(ConnectionState::Error);
  p_.channel.setReplyTimeout(p_.settings.getInt("sender.timeout"));
}

void ConnectionManager::onReply(const AsyncEvent& reply, bool toMemoryRead) {
  // A USSD reply belongs to no command and may come at any time.
  if (isUssdLine(reply)) {
    if (std::optional<UssdNotice> notice =
            ussdReplyNotice(reply.text, p_.settings.getInt("ussd.decode"))) {
      p_.window.balloon(notice->title, notice->text);
      if (p_.ussdReply) p_.ussdReply(notice->text);
    }
    return;
  }
  if (!p_.initializer.isFinished()) {
    if (p_.initializer.step(reply)) initializationFinished();
    return;
  }
  if (p_.state.memoryReadingState() == kReadingIdle) return;
  // A send or a plain command answered in the middle of a listing is none of its business.
  if (!toMemoryRead) return;
  onPollingReply(reply);
}

void ConnectionManager::initializationFinished() {
  p_.state.setInitializing(false);
  // Leave connect mode. What the receiver holds is kept: purging the port or its queue here
  // lost the new-message notices that came during the initialization.
  p_.channel.clearCommandReplies();
  if (p_.channel.getStatus() != ChannelStatus::Error) p_.channel.setStatus(ChannelStatus::Idle);
  // New messages announced meanwhile are read now that no initialization reply can be mistaken.
  if (p_.receiver != nullptr) p_.receiver->releaseHeldNotices();
  const std::u16string port = this->port();
  p_.channel.setReplyTimeout(p_.settings.getInt("sender.timeout"));
  const auto timer = [this](int id, const char* key) {
    const int seconds = p_.settings.getInt(key);
    if (seconds < 1) {
      p_.scheduler.remove(id);
    } else {
      p_.scheduler.add(id, static_cast<std::int64_t>(seconds) * 1000, true);
    }
  };
  timer(ServiceScheduler::kModemReset, "modem.reset.time");
  timer(ServiceScheduler::kReconnectCheck, "modem.reconnect.time");
  // The title last: whoever sees "connected" finds the connection's timers running.
  showState(ConnectionState::Connected);
  Logger::log(0, formatString(40032, {port}));
  if (!p_.initializer.problemsFound()) {
    p_.window.balloon(loadString(40033), formatString(40032, {port}));
  }
  listUnreadAfterConnect();
  p_.dispatcher.dispatchNext();
}

void ConnectionManager::listUnreadAfterConnect() {
  // In the notify modes nothing else would ever read what reached the modem memory while the
  // gateway was away: one listing of the unread messages, through the polling cycle.
  const ReadMode readMode = readReadMode(p_.settings);
  if (readMode != ReadMode::kNotifyIndex && readMode != ReadMode::kNotifyContent) return;
  int expected = kReadingIdle;
  if (!p_.state.exchangeMemoryReadingState(expected, kReadingListingUnread)) return;
  // When handled messages are deleted, whatever is still in the memory was not (a stop before
  // its delete, an inbox that could not be saved, the parts of a long message): all of it is
  // taken, the inbox check drops what was stored already, and the slots are freed.
  queueListing(readDeleteMode(p_.settings) == DeleteMode::kNever ? kListUnread : kListAll);
}

bool ConnectionManager::textMode() const { return readSendMode(p_.settings) == SendMode::kText; }

bool ConnectionManager::queueListing(int status) {
  std::unique_ptr<ATCommandMessage> command = listMessagesCommand(status, textMode());
  if (!command) {
    p_.notice(loadString(40137));
    p_.state.setMemoryReadingState(kReadingIdle);
    return false;
  }
  if (p_.sender.isQueued(command->text)) {
    Logger::log(1, std::string("CMGL command is already queued, new command cancelled"));
    p_.state.setMemoryReadingState(kReadingIdle);
    return false;
  }
  p_.sender.enqueue(std::move(command));
  return true;
}

void ConnectionManager::onPollingReply(const AsyncEvent& reply) {
  const int state = p_.state.memoryReadingState();
  // Some modems answer the listing of an empty memory with "invalid index": nothing was listed,
  // nothing failed.
  const bool emptyMemory =
      reply.kind == AsyncEvent::kCodedError && reply.code == kInvalidMemoryIndex;
  if (reply.kind == AsyncEvent::kOk || emptyMemory) {
    if (state % 2 == 1) {
      p_.state.setMemoryReadingState(state + 1);
    } else if ((state & kListUnreadNextBit) != 0) {
      p_.state.setMemoryReadingState(state + 2);
      queueListing(kListUnread);
    } else if (state == kReadingPanel) {
      p_.notice(std::u16string());
      p_.state.setMemoryReadingState(kReadingIdle);
    } else if (state == kReadingListingUnread) {
      if (!emptyMemory && readDeleteMode(p_.settings) == DeleteMode::kAllAfterCount) {
        deleteAllAtCycleEnd_.store(true);
      }
      std::int64_t cycleEnd =
          static_cast<std::int64_t>(p_.settings.getInt("receiver.polling_time")) * 500;
      if (readReadMode(p_.settings) != ReadMode::kPolling) {
        cycleEnd = std::max(cycleEnd, kConnectListingSettleMs);
      }
      // The end is timed before the state says "in cycle", so that whoever sees the state
      // finds the end already counted from now.
      p_.scheduler.add(ServiceScheduler::kPollingCycleEnd, cycleEnd, true);
      p_.state.setMemoryReadingState(kInCycleBit);
    }
    return;
  }
  // Errors, time-outs (kind 4 with code 0) and port failures.
  if (reply.kind == AsyncEvent::kError || reply.kind == AsyncEvent::kCodedError) {
    p_.window.balloon(loadString(40137), reply.text);
    // No delete-all here: the listing failed, so what the memory holds has not been stored.
    p_.notice(loadString(40137));
    p_.state.setMemoryReadingState(kReadingIdle);
  }
}

void ConnectionManager::endReading() {
  p_.state.setMemoryReadingState(kReadingIdle);
  deleteAllAtCycleEnd_.store(false);
}

void ConnectionManager::endPollingCycle() {
  if (deleteAllAtCycleEnd_.exchange(false)) p_.sender.enqueue(deleteAllCommand(p_.settings));
  p_.state.setMemoryReadingState(kReadingIdle);
  p_.duplicates.rotate();
}

void ConnectionManager::pollingStep() {
  if (p_.state.memoryReadingState() != kReadingIdle) return;
  if (readReadMode(p_.settings) != ReadMode::kPolling) return;
  const ChannelStatus status = p_.channel.getStatus();
  if (status != ChannelStatus::Idle && status != ChannelStatus::Busy) return;

  // Only one listing takes the memory.
  int expected = kReadingIdle;
  if (!p_.state.exchangeMemoryReadingState(expected, kReadingListingRead)) return;
  const std::u16string memory = p_.settings.getString("receiver.polling_memory");
  if (!memory.empty() && memory != p_.initializer.memoryName(0)) {
    if (std::unique_ptr<ATCommandMessage> select = storageSelectionCommand(
            memory, p_.initializer.memoryName(1), p_.initializer.memoryName(2))) {
      p_.initializer.setMemoryName(0, memory);
      p_.sender.enqueue(std::move(select));
      p_.state.setMemoryReadingState(kReadingSelecting);
    }
  }
  queueListing(kListRead);
}

void ConnectionManager::modemReset() {
  for (int n = 0;; ++n) {
    const std::u16string command = p_.settings.getStringByPattern("modem.reset.cmd.%d", n);
    if (command.empty()) break;
    p_.sender.enqueue(std::make_unique<ATCommandMessage>(command + u"\r\n"));
  }
  p_.channel.setReplyTimeout(p_.settings.getInt("sender.timeout"));
  if (p_.settings.getInt("modem.reset.reconnect") == 0) return;
  const int sleep = p_.settings.getInt("modem.reset.sleep");
  if (sleep > 0 && !pause(sleep)) return;
  postReconnect();
}

void ConnectionManager::reconnectCheck() {
  if (p_.channel.getStatus() != ChannelStatus::Error) return;
  Logger::log(0, std::string("Connection lost, trying to reconnect the modem"));
  postReconnect();
}

void ConnectionManager::postReconnect() {
  reconnecting_.store(true);
  p_.window.postCommand(ServiceWindow::kCommandDisconnect);
  p_.window.postCommand(ServiceWindow::kCommandConnect);
}

void ConnectionManager::disconnect() {
  // The service's own reconnects keep the timers that are to try again; the user's Disconnect
  // ends them.
  if (!reconnecting_.exchange(false)) {
    p_.scheduler.remove(ServiceScheduler::kModemReset);
    p_.scheduler.remove(ServiceScheduler::kReconnectCheck);
  }
  // The exchange in hand ends as a failure (a message in it is retried).
  p_.sender.cancelWait();
  deleteAllAtCycleEnd_.store(false);
  const bool closed = p_.channel.close();
  showState(closed ? ConnectionState::Disconnected : ConnectionState::Error);
}

void ConnectionManager::onPortFailure(int errnum) {
  const std::u16string port = this->port();
  const std::u16string message = errnum != 0 ? errorText(errnum) : loadString(40189);
  Logger::log(3, formatString(40009, {message}));
  p_.window.balloon(formatString(40009, {port}), message);
  showState(ConnectionState::Error);
  p_.sender.cancelWait();
}

bool ConnectionManager::pause(std::int64_t milliseconds) {
  std::unique_lock lock(pauseMutex_);
  const std::int64_t deadline = p_.clock.monotonicMs() + milliseconds;
  return !p_.clock.waitUntil(pauseCondition_, lock, deadline, [this] { return stopped_; });
}

void ConnectionManager::stop() {
  std::lock_guard guard(pauseMutex_);
  stopped_ = true;
  pauseCondition_.notify_all();
}

}  // namespace parlane
