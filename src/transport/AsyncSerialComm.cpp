#include "transport/AsyncSerialComm.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/ErrorText.h"
#include "core/util/StringTable.h"
#include "core/util/ThreadName.h"
#include "core/util/Utf.h"
#include "transport/PortPath.h"
#include "transport/TrafficLogText.h"
#include "transport/TtyPort.h"

namespace parlane {

namespace {

constexpr std::int64_t kFailedWritePauseMs = 50;
// A read burst parses whenever the buffer fills; after this many refills it lets poll() look at
// the wake-up descriptor again, so that a port that never stops talking cannot hold the thread.
constexpr int kMaxRefillsPerBurst = 16;

std::string toHex(std::string_view bytes, const char* digits) {
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    hex.push_back(digits[byte >> 4]);
    hex.push_back(digits[byte & 0x0F]);
  }
  return hex;
}

}  // namespace

AsyncSerialComm::AsyncSerialComm(const SettingsStore& settings, const Clock& clock)
    : settings_(settings), clock_(clock) {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  cancelFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  for (auto& handler : handlers_) handler.store(nullptr);
}

AsyncSerialComm::~AsyncSerialComm() {
  requestStop();
  joinThread();
  std::lock_guard guard(portMutex_);
  if (fd_ >= 0) {
    tty::purge(fd_);
    tty::release(fd_);
    fd_ = -1;
  }
  if (wakeFd_ >= 0) ::close(wakeFd_);
  if (cancelFd_ >= 0) ::close(cancelFd_);
}

// --- thread -------------------------------------------------------------------------------

void AsyncSerialComm::startThread() {
  const bool byteByByte = settings_.getInt("serial.byte_by_byte") != 0;
  launchThread([this, byteByByte] { readerLoop(byteByByte); });
}

void AsyncSerialComm::launchThread(std::function<void()> body) {
  if (thread_.joinable()) {
    requestStop();
    joinThread();
  }
  stop_.store(false);
  drainWake();
  thread_ = std::thread(std::move(body));
  nameThread(thread_, "serial");
}

void AsyncSerialComm::requestStop() {
  stop_.store(true);
  wakeThread();
}

void AsyncSerialComm::joinThread() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void AsyncSerialComm::wakeThread() {
  { std::lock_guard guard(stateMutex_); }
  readyCondition_.notify_all();
  signalWake();
}

void AsyncSerialComm::wakeForClock() { signalWake(); }

void AsyncSerialComm::signalWake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void AsyncSerialComm::drainWake() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof count);
}

void AsyncSerialComm::waitReady() {
  std::unique_lock lock(stateMutex_);
  readyCondition_.wait(lock, [this] { return ready_ || stop_.load(); });
}

void AsyncSerialComm::setReady(bool ready) {
  {
    std::lock_guard guard(stateMutex_);
    ready_ = ready;
  }
  readyCondition_.notify_all();
}

bool AsyncSerialComm::isReady() const {
  std::lock_guard guard(stateMutex_);
  return ready_;
}

// --- status -------------------------------------------------------------------------------

ChannelStatus AsyncSerialComm::getStatus() const {
  std::lock_guard guard(stateMutex_);
  return status_;
}

void AsyncSerialComm::setStatus(ChannelStatus status) {
  std::lock_guard guard(stateMutex_);
  Logger::log(0, "Status: " + std::to_string(static_cast<int>(status)));
  status_ = status;
  statusMs_ = clock_.monotonicMs();
  statusWall_ = clock_.wallSeconds();
}

void AsyncSerialComm::storeStatus(ChannelStatus status) {
  std::lock_guard guard(stateMutex_);
  status_ = status;
}

std::time_t AsyncSerialComm::statusTime() const {
  std::lock_guard guard(stateMutex_);
  return statusWall_;
}

void AsyncSerialComm::setReplyTimeout(int milliseconds) {
  if (milliseconds > 0) replyTimeoutMs_.store(milliseconds);
}

void AsyncSerialComm::setAwaitingReply(bool awaiting) {
  {
    std::lock_guard guard(stateMutex_);
    awaitingReply_ = awaiting;
    awaitLimitMs_.store(0);
  }
  if (awaiting) {
    noteActivity();
    signalWake();  // the reading thread now waits with a time limit
  }
}

void AsyncSerialComm::awaitReplyWithin(int milliseconds) {
  {
    std::lock_guard guard(stateMutex_);
    awaitingReply_ = true;
    awaitLimitMs_.store(milliseconds > 0 ? milliseconds : 0);
  }
  noteActivity();
  signalWake();
}

bool AsyncSerialComm::isAwaitingReply() const {
  std::lock_guard guard(stateMutex_);
  return awaitingReply_;
}

void AsyncSerialComm::noteActivity() { lastActivityMs_.store(clock_.monotonicMs()); }

bool AsyncSerialComm::checkBusy() {
  std::lock_guard guard(stateMutex_);
  const std::int64_t busySeconds = (clock_.monotonicMs() - statusMs_) / 1000;
  // A send allowed to wait longer than five reply time-outs is not stuck while it waits.
  const std::int64_t limitSeconds =
      std::max<std::int64_t>(static_cast<std::int64_t>(replyTimeoutMs_.load()) * 5,
                             awaitLimitMs_.load()) /
      1000;
  if (status_ != ChannelStatus::Busy || busySeconds <= limitSeconds) return false;
  Logger::log(2, std::string("Status BUSY for a long time, resetting"));
  Logger::log(0, std::string("Status: 1"));
  status_ = ChannelStatus::Idle;
  statusMs_ = clock_.monotonicMs();
  statusWall_ = clock_.wallSeconds();
  return true;
}

// --- reply queues -------------------------------------------------------------------------

ReplyQueue* AsyncSerialComm::setHandler(ReplyQueue* queue, int slot) {
  if (slot < 0 || slot >= kReplySlotCount) return nullptr;
  std::lock_guard guard(handlerMutex_);
  return handlers_[static_cast<std::size_t>(slot)].exchange(queue);
}

bool AsyncSerialComm::accepts(ReplySlot slot) const {
  return handlers_[static_cast<std::size_t>(slot)].load() != nullptr;
}

void AsyncSerialComm::deliver(ReplySlot slot, std::unique_ptr<AsyncEvent> event) {
  // A long listing or read keeps its command alive; anything else arriving does not.
  if (slot == ReplySlot::Unsolicited && event->kind == AsyncEvent::kInformation) noteActivity();
  deliverTo(slot, std::move(event));
}

void AsyncSerialComm::deliverTo(ReplySlot slot, std::unique_ptr<AsyncEvent> event) {
  if (event && event->memoryIndex < 0) event->memoryIndex = answeredSlot_.load();
  if (event) event->readAt = deletesWritten_.load();
  std::lock_guard guard(handlerMutex_);
  ReplyQueue* queue = handlers_[static_cast<std::size_t>(slot)].load();
  if (queue != nullptr) queue->push(std::move(event));
}

void AsyncSerialComm::appendReceived(std::string_view bytes) {
  std::lock_guard guard(bufferMutex_);
  buffer_.appendAndParse(bytes, parser_, *this);
}

void AsyncSerialComm::clearPending() {
  {
    std::lock_guard guard(portMutex_);
    if (fd_ >= 0) tty::purge(fd_);
  }
  std::lock_guard guard(handlerMutex_);
  for (auto& handler : handlers_) {
    if (ReplyQueue* queue = handler.load()) queue->clear();
  }
}

void AsyncSerialComm::clearCommandReplies() {
  std::lock_guard guard(handlerMutex_);
  for (int slot = 0; slot < kReplySlotCount; ++slot) {
    if (slot == static_cast<int>(ReplySlot::Unsolicited)) continue;
    if (ReplyQueue* queue = handlers_[static_cast<std::size_t>(slot)].load()) queue->clear();
  }
}

void AsyncSerialComm::setPortFailureListener(std::function<void(int)> listener) {
  std::lock_guard guard(listenerMutex_);
  failureListener_ = std::move(listener);
}

// --- port ---------------------------------------------------------------------------------

std::string AsyncSerialComm::portPath() const {
  std::lock_guard guard(portMutex_);
  return portPath_;
}

bool AsyncSerialComm::open(std::u16string_view portName) {
  bool wasOpen;
  {
    std::lock_guard guard(portMutex_);
    wasOpen = fd_ >= 0;
  }
  if (wasOpen) close();
  if (portName.empty()) {
    setStatus(ChannelStatus::Error);
    lastError_.store(kPortNotSet);
    return false;
  }
  const std::string path = parlane::portPath(portName, settings_.getInt("port.use_prefix") != 0,
                                             settings_.getString("port.prefix"));
  int fd = -1;
  if (const int error = tty::openExclusive(path, &fd); error != 0) {
    setStatus(ChannelStatus::Error);
    lastError_.store(error);
    return false;
  }
  lastError_.store(0);
  {
    std::lock_guard guard(portMutex_);
    fd_ = fd;
    portPath_ = path;
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(cancelFd_, &count, sizeof count);
  }
  clearPending();
  noteActivity();
  setReady(true);
  signalWake();
  return true;
}

void AsyncSerialComm::releasePort(int fd) {
  // Writers first: a write stuck on a full port gives up when cancelled.
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(cancelFd_, &one, sizeof one);
  std::lock_guard writeGuard(writeMutex_);
  std::unique_lock portLock(portMutex_);
  if (fd >= 0 && fd_ != fd) return;  // somebody else closed it already
  if (fd_ < 0) return;
  if (readerThread_.load() != std::this_thread::get_id()) {
    signalWake();
    portCondition_.wait(portLock, [this] { return !readerHoldsPort_; });
  }
  tty::purge(fd_);
  tty::release(fd_);
  fd_ = -1;
}

bool AsyncSerialComm::close() {
  setReady(false);
  releasePort(-1);
  Logger::log(0, loadString(40014));
  setStatus(ChannelStatus::Closed);
  return true;
}

bool AsyncSerialComm::configure(std::uint32_t baudRate, std::uint8_t parity, std::uint8_t byteSize,
                                std::uint8_t stopBits, std::uint8_t parityCheck) {
  lastError_.store(0);
  int error;
  {
    std::lock_guard guard(portMutex_);
    error = fd_ < 0 ? EBADF
                    : tty::configureLine(fd_, baudRate, parity, byteSize, stopBits, parityCheck);
  }
  if (error == 0) return true;
  setStatus(ChannelStatus::Error);
  lastError_.store(error);
  return false;
}

bool AsyncSerialComm::setTimeouts(std::uint32_t writeMultiplier, std::uint32_t writeConstant,
                                  std::uint32_t readInterval, std::uint32_t readMultiplier,
                                  std::uint32_t readConstant) {
  lastError_.store(0);
  int error;
  {
    std::lock_guard guard(portMutex_);
    timeouts_ = {writeMultiplier, writeConstant, readInterval, readMultiplier, readConstant};
    error = fd_ < 0 ? EBADF : tty::applyReadInterval(fd_, readInterval);
  }
  if (error == 0) return true;
  setStatus(ChannelStatus::Error);
  lastError_.store(error);
  return false;
}

// --- writing ------------------------------------------------------------------------------

int AsyncSerialComm::writeAll(std::string_view bytes) {
  std::lock_guard writeGuard(writeMutex_);
  int fd;
  std::int64_t limitMs;
  {
    std::lock_guard guard(portMutex_);
    fd = fd_;
    // Like the port's total write time-out; none configured still never waits for ever.
    limitMs = static_cast<std::int64_t>(timeouts_.writeMultiplier) *
                  static_cast<std::int64_t>(bytes.size()) +
              timeouts_.writeConstant;
  }
  if (fd < 0) return EBADF;
  if (limitMs <= 0) limitMs = replyTimeoutMs_.load();
  const std::int64_t deadline = clock_.monotonicMs() + limitMs;
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return errno;
    const std::int64_t remaining = deadline - clock_.monotonicMs();
    if (remaining <= 0) return ETIMEDOUT;
    pollfd fds[2] = {{fd, POLLOUT, 0}, {cancelFd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(std::min<std::int64_t>(remaining, INT_MAX)));
    if (ready < 0 && errno != EINTR) return errno;
    if (fds[1].revents != 0) return ECANCELED;
    if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return EIO;
  }
  return 0;
}

bool AsyncSerialComm::failWrite(int error) {
  // A short pause, so that a caller retrying at once does not hammer a failing port.
  std::mutex mutex;
  std::condition_variable never;
  std::unique_lock lock(mutex);
  clock_.waitUntil(never, lock, clock_.monotonicMs() + kFailedWritePauseMs,
                   [this] { return stop_.load(); });
  lastError_.store(error);
  return false;
}

bool AsyncSerialComm::sendCommand(std::string_view bytes) {
  Logger::log(0, formatString(40007, {commandLogText(bytes)}));
  {
    // What arrives from now on is the reply to this command, or the rest of a notice.
    std::lock_guard guard(bufferMutex_);
    buffer_.clearExceptUnsolicited();
  }
  lastError_.store(0);
  // The reply time-out runs from the write: stamped before the modem can have the bytes.
  noteActivity();
  if (const int error = writeAll(bytes); error != 0) return failWrite(error);
  deliverTo(ReplySlot::Written,
            std::make_unique<AsyncEvent>(AsyncEvent::kWritten, 0, std::u16string(), std::string()));
  return true;
}

bool AsyncSerialComm::sendHexBody(std::string_view bytes) {
  return sendBody(toHex(bytes, "0123456789ABCDEF"));
}

bool AsyncSerialComm::sendBody(std::string_view bytes) {
  std::u16string shown = bodyLogText(bytes);
  Logger::log(0, formatString(40007, {shown}));
  std::string body(bytes);
  body.push_back('\x1A');
  lastError_.store(0);
  noteActivity();
  if (const int error = writeAll(body); error != 0) return failWrite(error);
  deliverTo(ReplySlot::Written, std::make_unique<AsyncEvent>(AsyncEvent::kWritten, 0,
                                                             std::move(shown), std::string(bytes)));
  return true;
}

// --- reading thread -----------------------------------------------------------------------

void AsyncSerialComm::readerLoop(bool byteByByte) {
  readerThread_.store(std::this_thread::get_id());
  while (!stop_.load()) {
    // Parked while the port is closed or failed; open() wakes it.
    waitReady();
    if (stop_.load()) break;
    int fd;
    {
      std::lock_guard guard(portMutex_);
      fd = fd_;
      if (fd < 0) continue;
      readerHoldsPort_ = true;
    }
    const int failure = watchPort(fd, byteByByte);
    if (failure != 0) {
      portFailed(fd, failure);
    } else {
      std::lock_guard guard(portMutex_);
      readerHoldsPort_ = false;
    }
    portCondition_.notify_all();
  }
  readerThread_.store(std::thread::id());
}

// Returns 0 when the port is to be let go (closed, re-opened, stop), else the errno of its
// failure.
int AsyncSerialComm::watchPort(int fd, bool byteByByte) {
  while (!stop_.load()) {
    int timeoutMs = -1;
    if (const std::int64_t remaining = replyTimeRemaining(); remaining == 0) {
      deliverTo(ReplySlot::Failure,
                std::make_unique<AsyncEvent>(AsyncEvent::kError, 0, loadString(40098),
                                             toUtf8(loadString(40098))));
      continue;
    } else if (remaining > 0) {
      timeoutMs = static_cast<int>(std::min<std::int64_t>(remaining, INT_MAX));
    }
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd, POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (fds[0].revents != 0) drainWake();
    if (stop_.load() || !isReady()) return 0;
    {
      std::lock_guard guard(portMutex_);
      if (fd_ != fd) return 0;
    }
    if ((fds[1].revents & POLLIN) != 0) {
      if (const int error = readBurst(fd, byteByByte); error != 0) return error;
    } else if ((fds[1].revents & POLLNVAL) != 0) {
      return EBADF;
    } else if ((fds[1].revents & (POLLHUP | POLLERR)) != 0) {
      return EIO;
    }
  }
  return 0;
}

// -1 when no reply is awaited; 0 when the time-out has just run out (the flag is then cleared);
// else the milliseconds left.
std::int64_t AsyncSerialComm::replyTimeRemaining() {
  std::lock_guard guard(stateMutex_);
  if (!awaitingReply_) return -1;
  const int limit = awaitLimitMs_.load() > 0 ? awaitLimitMs_.load() : replyTimeoutMs_.load();
  const std::int64_t remaining = lastActivityMs_.load() + limit - clock_.monotonicMs();
  if (remaining > 0) return remaining;
  awaitingReply_ = false;
  return 0;
}

int AsyncSerialComm::readBurst(int fd, bool byteByByte) {
  std::lock_guard guard(bufferMutex_);
  for (int refill = 0; refill < kMaxRefillsPerBurst; ++refill) {
    bool drained = false;
    while (buffer_.room() > 0) {
      const ssize_t n = ::read(fd, buffer_.end(), byteByByte ? 1 : buffer_.room());
      if (n > 0) {
        buffer_.grow(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) {
        drained = true;
        break;
      }
      // End of file on a tty, or an error: the device is gone.
      const int error = n == 0 ? EIO : errno;
      buffer_.parse(parser_, *this);
      return error;
    }
    buffer_.parse(parser_, *this);
    if (drained) break;
  }
  return 0;
}

void AsyncSerialComm::portFailed(int fd, int error) {
  {
    // Let go of the port first: a close() running meanwhile waits for that.
    std::lock_guard guard(portMutex_);
    readerHoldsPort_ = false;
  }
  portCondition_.notify_all();
  if (!isReady()) return;  // closed under the thread: nothing failed that anyone still uses
  setReady(false);
  setStatus(ChannelStatus::Error);
  lastError_.store(error);
  std::u16string text = errorText(error);
  if (text == u"Unknown error") text += u" " + fromAscii(std::to_string(error));
  Logger::log(2, formatString(40009, {text}));
  std::function<void(int)> listener;
  {
    std::lock_guard guard(listenerMutex_);
    listener = failureListener_;
  }
  if (listener) listener(error);
  deliverTo(ReplySlot::Failure,
            std::make_unique<AsyncEvent>(AsyncEvent::kCodedError, error, text, toUtf8(text)));
  releasePort(fd);
}

}  // namespace parlane
