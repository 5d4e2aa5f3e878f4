#include "transport/AsyncSerialEmulator.h"

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"
#include "gsm/HexOctets.h"
#include "gsm/SubmitPduText.h"
#include "message/SMSMessage.h"
#include "transport/EmulatorReplies.h"
#include "transport/NoticeCodes.h"
#include "transport/TrafficLogText.h"

namespace parlane {

AsyncSerialEmulator::AsyncSerialEmulator(const SettingsStore& settings, const Clock& clock,
                                         std::chrono::milliseconds replyPause,
                                         std::chrono::milliseconds sendPause)
    : AsyncSerialComm(settings, clock), replyPause_(replyPause), sendPause_(sendPause) {}

AsyncSerialEmulator::~AsyncSerialEmulator() {
  requestStop();
  joinThread();
}

void AsyncSerialEmulator::startThread() {
  launchThread([this] { run(); });
}

void AsyncSerialEmulator::wakeThread() {
  AsyncSerialComm::wakeThread();
  commands_.push(nullptr);  // a null command only makes the thread look at the stop flag
  { std::lock_guard guard(pauseMutex_); }
  pauseCondition_.notify_all();
}

bool AsyncSerialEmulator::open(std::u16string_view) {
  setLastError(0);
  clearPending();
  setReady(true);
  return true;
}

bool AsyncSerialEmulator::close() {
  setReady(false);
  storeStatus(ChannelStatus::Closed);
  return true;
}

bool AsyncSerialEmulator::sendCommand(std::string_view bytes) {
  Logger::log(0, formatString(40007, {commandLogText(bytes)}));
  setLastError(0);
  commands_.push(std::make_unique<std::string>(bytes));
  deliverTo(ReplySlot::Written,
            std::make_unique<AsyncEvent>(AsyncEvent::kWritten, 0, std::u16string(), std::string()));
  return true;
}

bool AsyncSerialEmulator::sendHexBody(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return sendBody(hex);
}

bool AsyncSerialEmulator::sendBody(std::string_view bytes) {
  std::u16string shown = bodyLogText(bytes);
  Logger::log(0, formatString(40007, {shown}));
  auto body = std::make_unique<std::string>(bytes);
  body->push_back('\x1A');
  commands_.push(std::move(body));
  deliverTo(ReplySlot::Written, std::make_unique<AsyncEvent>(AsyncEvent::kWritten, 0,
                                                             std::move(shown), std::string(bytes)));
  return true;
}

void AsyncSerialEmulator::setNotificationSink(NotificationSink* sink) {
  std::lock_guard guard(sinkMutex_);
  sink_ = sink;
}

bool AsyncSerialEmulator::pause(std::chrono::milliseconds pause) {
  std::unique_lock lock(pauseMutex_);
  clock().waitUntil(pauseCondition_, lock, clock().monotonicMs() + pause.count(),
                    [this] { return stopRequested(); });
  return !stopRequested();
}

void AsyncSerialEmulator::run() {
  while (!stopRequested()) {
    waitReady();
    if (stopRequested()) break;
    std::unique_ptr<std::string> command = commands_.pop();
    if (stopRequested()) break;
    if (!command) continue;
    // Written while closed: answered once the port is open again.
    waitReady();
    if (stopRequested()) break;
    if (!pause(replyPause_)) break;
    const std::string initLine = toUtf8(settings().getString("modem.init")) + "\r\n";
    const EmulatorReply reply = EmulatorReply::choose(*command, initLine, reference_.load());
    if (reply.longPause && !pause(sendPause_)) break;
    if (reply.messageSent) reference_.fetch_add(1);
    setLastError(0);
    appendReceived(reply.bytes);
    if (reply.messageSent) playSendScene(*command);
  }
}

// A PDU whose text is "SEND <number> <words>" comes back as a message with those words from
// that number.
void AsyncSerialEmulator::playSendScene(const std::string& body) {
  std::string_view hex(body);
  if (!hex.empty() && hex.back() == '\x1A') hex.remove_suffix(1);
  const auto octets = hexToOctets(hex);
  if (!octets) return;
  const auto text = submitPduText(*octets);
  if (!text || !text->starts_with(u"SEND")) return;
  const std::u16string rest = text->size() > 5 ? text->substr(5) : std::u16string();
  const std::size_t space = rest.find(u' ');
  if (space == std::u16string::npos) return;
  auto message = std::make_unique<SMSMessage>(rest.substr(0, space), u"", rest.substr(space + 1));
  std::lock_guard guard(sinkMutex_);
  if (sink_ != nullptr) sink_->notify(notice::kIncoming, 0, std::move(message));
}

}  // namespace parlane
