#include "engine/SmsSender.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <span>
#include <utility>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/ErrorText.h"
#include "core/util/StringTable.h"
#include "core/util/ThreadName.h"
#include "core/util/Utf.h"
#include "engine/CommandText.h"
#include "engine/DeleteCommands.h"
#include "engine/DiagnosticPayload.h"
#include "engine/EngineSink.h"
#include "engine/MainWindowLink.h"
#include "engine/MemoryCommands.h"
#include "engine/ModemModes.h"
#include "engine/TextModeCharset.h"
#include "engine/UssdCommand.h"
#include "gsm/HexOctets.h"
#include "gsm/NationalLanguageList.h"
#include "gsm/PduEncoder.h"
#include "message/MessageFlags.h"
#include "message/MessageKind.h"
#include "message/SMSMessage.h"
#include "message/USSDRequest.h"
#include "transport/AsyncSerialComm.h"

namespace parlane {

namespace {

// Put into the reply queue by cancelWait; no line of the modem has this kind.
constexpr int kCancelKind = 0;
// How long the thread looks away while an open port has not been given a status yet.
constexpr std::int64_t kActivationPauseMs = 20;
// The wait for the result of a send when "sender.send_timeout" gives none: busy networks take
// 5 to 40 s.
constexpr int kDefaultSendTimeoutSeconds = 60;

constexpr char16_t kCancelledText[] = u"Sending cancelled";
constexpr char16_t kUnexpectedPromptText[] = u"The modem asked for more text (unexpected \">\")";

constexpr ReplySlot kSenderSlots[] = {ReplySlot::Written, ReplySlot::Ok, ReplySlot::Prompt,
                                      ReplySlot::Failure, ReplySlot::Information};

void logText(int level, int textId, std::u16string_view argument) {
  Logger::log(level, formatString(textId, {std::u16string(argument)}));
}

void logReceived(const AsyncEvent& event) {
  Logger::log(0, formatText(u"Received: %s", {event.text}));
}

void logUnexpected(const AsyncEvent& event) {
  Logger::log(2, formatText(u"Serial port: unexpected reply! Type: %d Content: %s",
                            {event.kind, event.text}));
}

// Blanks, line ends and the Ctrl-Z a modem may echo with a body.
bool isEchoPadding(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0x1A; }

std::string_view trimEcho(std::string_view text) {
  while (!text.empty() && isEchoPadding(text.front())) text.remove_prefix(1);
  while (!text.empty() && isEchoPadding(text.back())) text.remove_suffix(1);
  return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The number after "+CMGS:", "+CMGW:" or "+CMSS:" (leading blanks skipped, 0 when none); nothing
// for any other line.
std::optional<int> resultValue(std::u16string_view line) {
  // The blank a prompt ("> ") leaves behind may lead the line.
  while (!line.empty() && line.front() == u' ') line.remove_prefix(1);
  if (line.size() < 6) return std::nullopt;
  const std::u16string_view prefix = line.substr(0, 6);
  if (prefix != u"+CMGS:" && prefix != u"+CMGW:" && prefix != u"+CMSS:") return std::nullopt;
  return SettingsStore::parseInt(line.substr(6));
}

std::string commandLine(std::u16string_view text) {
  std::string line = toUtf8(text);
  if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) line += "\r\n";
  return line;
}

}  // namespace

SmsSender::SmsSender(AsyncSerialComm& channel, const SettingsStore& settings, const Clock& clock)
    : channel_(channel), settings_(settings), clock_(clock) {}

SmsSender::~SmsSender() {
  stop();
  join();
  // The channel must not deliver into a queue that is gone.
  for (ReplySlot slot : kSenderSlots) {
    ReplyQueue* attached = channel_.setHandler(nullptr, slot);
    if (attached != &replies_) channel_.setHandler(attached, slot);
  }
}

void SmsSender::setSink(EngineSink* sink) { sink_.store(sink); }

void SmsSender::setWindow(MainWindowLink* window) { window_.store(window); }

void SmsSender::enqueue(std::unique_ptr<GenericMessage> message) {
  if (!message) return;
  {
    std::lock_guard guard(queueMutex_);
    queue_.emplace_back(std::move(message));
  }
  queueCondition_.notify_all();
}

void SmsSender::enqueue(std::unique_ptr<ATCommandMessage> command) {
  if (!command) return;
  {
    std::lock_guard guard(queueMutex_);
    queue_.emplace_back(std::move(command));
  }
  queueCondition_.notify_all();
}

void SmsSender::clear() {
  // A new connection may be another modem.
  ucs2Offered_.store(-1);
  std::deque<Job> dropped;
  std::lock_guard guard(queueMutex_);
  dropped.swap(queue_);
}

bool SmsSender::isQueued(std::u16string_view commandText) const {
  std::lock_guard guard(queueMutex_);
  for (const Job& job : queue_) {
    const auto* command = std::get_if<std::unique_ptr<ATCommandMessage>>(&job);
    if (command != nullptr && (*command)->text == commandText) return true;
  }
  return false;
}

std::size_t SmsSender::queuedCount() const {
  std::lock_guard guard(queueMutex_);
  return queue_.size();
}

std::u16string SmsSender::lastError() const {
  std::lock_guard guard(errorMutex_);
  return lastError_;
}

void SmsSender::setLastError(std::u16string_view text) {
  std::lock_guard guard(errorMutex_);
  lastError_ = text;
}

void SmsSender::cancelWait() {
  {
    std::lock_guard guard(queueMutex_);
    cancelled_.store(true);
  }
  queueCondition_.notify_all();
  replies_.push(std::make_unique<AsyncEvent>(kCancelKind, 0, u"cancelled", "cancelled"));
}

void SmsSender::start() {
  if (thread_.joinable()) return;
  stop_.store(false);
  thread_ = std::thread([this] { run(); });
  nameThread(thread_, "sender");
}

void SmsSender::stop() {
  {
    std::lock_guard guard(queueMutex_);
    stop_.store(true);
  }
  queueCondition_.notify_all();
  // A wait in progress ends at once rather than at the next reply time-out.
  replies_.push(std::make_unique<AsyncEvent>(kCancelKind, 0, u"stopped", "stopped"));
}

void SmsSender::join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void SmsSender::run() {
  post(notice::kSenderStarted);
  while (!stop_.load()) {
    std::unique_ptr<Job> job = nextJob();
    if (!job) break;
    dispatch(*job);
  }
}

std::unique_ptr<SmsSender::Job> SmsSender::nextJob() {
  for (;;) {
    {
      std::unique_lock lock(queueMutex_);
      queueCondition_.wait(lock, [this] { return stop_.load() || !queue_.empty(); });
      if (stop_.load()) return nullptr;
    }
    channel_.waitReady();
    if (stop_.load()) return nullptr;
    if (!channel_.isActive()) {
      // The port was just opened and the connection has not set a status yet.
      std::unique_lock lock(queueMutex_);
      clock_.waitUntil(queueCondition_, lock, clock_.monotonicMs() + kActivationPauseMs,
                       [this] { return stop_.load(); });
      continue;
    }
    std::lock_guard guard(queueMutex_);
    if (queue_.empty()) continue;  // cleared meanwhile
    auto job = std::make_unique<Job>(std::move(queue_.front()));
    queue_.pop_front();
    return job;
  }
}

void SmsSender::dispatch(Job& job) {
  // A UCS2 text cut short left the modem in UCS2: nothing else may be read or sent in it.
  if (!charsetRestore_.empty()) restoreCharset();
  if (auto* command = std::get_if<std::unique_ptr<ATCommandMessage>>(&job)) {
    runCommand(**command);
    return;
  }
  GenericMessage& message = *std::get<std::unique_ptr<GenericMessage>>(job);
  switch (message.kind()) {
    case MessageKind::Sms:
    case MessageKind::Push:
      // A late result waiting in the replies settles the message it belongs to first.
      attachReplies();
      if (settledLate(message)) break;
      if (givenUp_ && givenUp_->uniqueid == message.uniqueid) givenUpRetried_ = true;
      if (readSendMode(settings_) == SendMode::kText) {
        sendText(message);
      } else {
        sendPdu(message);
      }
      break;
    case MessageKind::Ussd:
      sendUssd(static_cast<const USSDRequest&>(message));
      break;
    default: {
      // A status report and the like: reported failed, so that its owner is not left waiting.
      const std::u16string reason =
          formatText(u"A message of type %s can't be sent", {message.getTypeName()});
      setLastError(reason);
      Logger::log(2, reason);
      std::unique_ptr<GenericMessage> copy = message.clone();
      copy->failureReason = reason;
      notifyMessage(notice::kHandled, sendFlag::kFailed, std::move(copy));
      break;
    }
  }
}

void SmsSender::attachReplies() {
  echoSeen_ = false;
  bodyEcho_.clear();
  for (ReplySlot slot : kSenderSlots) channel_.setHandler(&replies_, slot);
  drainReplies();
}

void SmsSender::drainReplies() {
  {
    std::lock_guard guard(queueMutex_);
    cancelled_.store(false);
  }
  // Whatever is still queued came after its wait ended. A timed-out zero wait also resets the
  // wake-up a clear() of the queue left behind.
  while (std::unique_ptr<AsyncEvent> stale = replies_.popWithin(std::chrono::milliseconds(0))) {
    if (stale->kind == AsyncEvent::kWritten || stale->kind == kCancelKind) continue;
    if (isLateOk(*stale) || takeLateResult(*stale)) continue;
    logUnexpected(*stale);
    if (stale->kind == AsyncEvent::kPrompt) {
      // Nobody asked for a body; close the prompt so the next command is read as one.
      channel_.sendCommand(std::string(1, '\x1a'));
    }
  }
}

SmsSender::WaitResult SmsSender::wait(Wait kind) {
  WaitResult result;
  for (;;) {
    // A stop that came while the replies were drained left no wake-up behind: its flag tells.
    std::unique_ptr<AsyncEvent> event = stop_.load() ? nullptr : replies_.pop();
    if (!event || event->kind == kCancelKind) {
      Logger::log(2, std::string("Serial port: wait for the modem's reply cancelled"));
      result.cancelled = true;
      result.reason = kCancelledText;
      return result;
    }
    if (kind == Wait::kResult && isBodyEcho(*event)) continue;
    if (isLateOk(*event) || (kind != Wait::kResult && takeLateResult(*event))) continue;
    switch (event->kind) {
      case AsyncEvent::kWritten:
        continue;
      case AsyncEvent::kError:
      case AsyncEvent::kCodedError: {
        result.reason = event->text;
        result.timedOut = event->kind == AsyncEvent::kError && event->code == 0;
        setLastError(event->text);
        logText(3, 40009, event->text);
        if (kind != Wait::kPrompt && channel_.getStatus() == ChannelStatus::Busy) {
          channel_.setStatus(ChannelStatus::Idle);
        }
        notifyReply(0, std::move(event));
        return result;
      }
      case AsyncEvent::kPrompt:
        if (kind == Wait::kPrompt) {
          logReceived(*event);
          result.ok = true;
          return result;
        }
        logUnexpected(*event);
        channel_.sendCommand(std::string(1, '\x1a'));
        notifyReply(0, std::move(event));
        result.reason = kUnexpectedPromptText;
        setLastError(result.reason);
        return result;
      case AsyncEvent::kOk:
        if (kind == Wait::kPrompt) break;
        Logger::log(0, std::string("Serial port: OK"));
        notifyReply(1, std::move(event));
        result.ok = true;
        return result;
      case AsyncEvent::kInformation:
        // The blank after a prompt makes a line of its own when a line end follows it.
        if (isEcho(*event)) {
          echoSeen_ = true;
          continue;
        }
        if (trimEcho(event->raw).empty()) continue;
        if (kind == Wait::kPrompt) break;
        logReceived(*event);
        if (kind == Wait::kResult) {
          if (const std::optional<int> value = resultValue(event->text)) result.value = *value;
        } else {
          result.lines.push_back(event->text);
        }
        notifyReply(1, std::move(event));
        continue;
      default:
        break;
    }
    logUnexpected(*event);
  }
}

bool SmsSender::admitDelete(const ATCommandMessage& command) {
  if (command.deletesAll) {
    slotDeletes_.noteAll();
  } else if (command.deletes.index >= 0) {
    if (command.checksRead && slotDeletes_.freedSince(command.deletes)) {
      Logger::log(1, formatText(u"Memory slot %d was freed after its message was read, not "
                                u"deleted again",
                                {command.deletes.index}));
      return false;
    }
    slotDeletes_.noteOne(command.deletes.index);
  }
  return true;
}

void SmsSender::runCommand(const ATCommandMessage& command) {
  if (!admitDelete(command)) return;
  attachReplies();
  channel_.setAwaitingReply(true);
  // The receiver learns from the reply's lines which slot a read message came from, and when.
  channel_.setAnsweredSlot(command.memoryIndex, slotDeletes_.written());
  if (!write(commandLine(command.text))) {
    channel_.setAnsweredSlot(-1, slotDeletes_.written());
    channel_.setAwaitingReply(false);
    const std::u16string reason = errorText(channel_.lastError());
    setLastError(reason);
    logText(3, 40009, reason);
    return;
  }
  readingMemory_ = readsModemMemory(command.text);
  const WaitResult result = wait(Wait::kCommand);
  readingMemory_ = false;
  channel_.setAnsweredSlot(-1, slotDeletes_.written());
  channel_.setAwaitingReply(false);
  // Only a refusal: a modem that said nothing in time would not take the other command either.
  if (!result.ok && !result.cancelled && !result.timedOut && !command.fallback.empty()) {
    runCommand(ATCommandMessage(command.fallback));
  }
}

void SmsSender::rememberGivenUp(const GenericMessage& message, int segments) {
  givenUp_ = message.clone();
  givenUp_->segments = segments;
  givenUpRetried_ = false;
}

bool SmsSender::takeLateResult(const AsyncEvent& event) {
  if (!givenUp_ || event.kind != AsyncEvent::kInformation) return false;
  const std::optional<int> value = resultValue(event.text);
  if (!value) return false;
  lateOk_ = true;
  std::unique_ptr<GenericMessage> message = std::move(givenUp_);
  if (givenUpRetried_) {
    Logger::log(2, formatText(u"Late send result \"%s\" for the message to %s, which was tried "
                              u"again: it may have been sent twice",
                              {event.text, message->to}));
    return true;
  }
  Logger::log(1, formatText(u"Late send result \"%s\": the message to %s was sent after all",
                            {event.text, message->to}));
  message->refid = *value;
  message->failureReason.clear();
  settledLate_.push_back(message->uniqueid);
  sentCount_.fetch_add(1);
  notifyMessage(notice::kHandled, sendFlag::kSent, std::move(message));
  return true;
}

bool SmsSender::isLateOk(const AsyncEvent& event) {
  if (!lateOk_ || event.kind == AsyncEvent::kWritten) return false;
  lateOk_ = false;
  return event.kind == AsyncEvent::kOk;
}

bool SmsSender::settledLate(const GenericMessage& message) {
  const auto found = std::find(settledLate_.begin(), settledLate_.end(), message.uniqueid);
  if (found == settledLate_.end()) return false;
  settledLate_.erase(found);
  Logger::log(
      1, formatText(u"The message to %s was sent already; its retry is dropped", {message.to}));
  return true;
}

SmsSender::WaitResult SmsSender::writeFailure() {
  WaitResult failure;
  const int code = channel_.lastError();
  failure.reason = code != 0 ? errorText(code) : u"The modem can't be written to";
  setLastError(failure.reason);
  logText(3, 40009, failure.reason);
  return failure;
}

int SmsSender::sendTimeoutMs() const {
  const int seconds = settings_.getInt("sender.send_timeout");
  return (seconds > 0 ? seconds : kDefaultSendTimeoutSeconds) * 1000;
}

void SmsSender::expectBodyEcho(std::string_view body) {
  bodyEcho_.clear();
  if (!echoSeen_) return;
  std::size_t begin = 0;
  while (begin <= body.size()) {
    std::size_t end = body.find('\n', begin);
    if (end == std::string_view::npos) end = body.size();
    const std::string_view line = trimEcho(body.substr(begin, end - begin));
    if (!line.empty()) bodyEcho_.emplace_back(line);
    begin = end + 1;
  }
}

bool SmsSender::isBodyEcho(const AsyncEvent& event) {
  if (bodyEcho_.empty() || event.kind == AsyncEvent::kWritten || event.kind == kCancelKind) {
    return false;
  }
  if (trimEcho(event.raw) != bodyEcho_.front()) return false;
  bodyEcho_.pop_front();
  return true;
}

SmsSender::WaitResult SmsSender::runInlineCommand(const std::string& line) {
  channel_.setAwaitingReply(true);
  WaitResult result = write(line) ? wait(Wait::kCommand) : writeFailure();
  channel_.setAwaitingReply(false);
  return result;
}

bool SmsSender::offersUcs2() {
  if (ucs2Offered_.load() < 0) {
    const WaitResult answer = runInlineCommand("AT+CSCS=?\r\n");
    bool offered = false;
    for (const std::u16string& line : answer.lines) offered = offered || listsUcs2(line);
    if (answer.cancelled) return false;
    ucs2Offered_.store(offered ? 1 : 0);
  }
  return ucs2Offered_.load() == 1;
}

void SmsSender::sendPdu(GenericMessage& message) {
  const bool useMemory = settings_.getInt("sender.use_memory") != 0;
  // The codec's settings, read now so that a change counts from this message on.
  PduEncoderOptions options;
  options.lengthCorrection = settings_.getInt("sms.length_correction");
  options.smscInPdu = settings_.getInt("smsc_addr_in_pdu") == 1;
  options.smscAddress = settings_.getString("smsc.address");
  std::vector<std::u16string> rejected;
  options.nationalLanguages =
      parseNationalLanguages(settings_.getString("sms.national_languages"), &rejected);
  for (const std::u16string& entry : rejected) {
    Logger::log(2, "Settings: \"sms.national_languages\" has \"" + toUtf8(entry) +
                       "\", which is no language id from 0 to 13; it is left out");
  }
  const PduEncoder encoder(std::move(options));

  std::vector<Octets> segments;
  std::string refusal;
  if (message.content == kDiagnosticText) {
    // The payload goes out in place of the text; the message keeps its text for the folders,
    // since the payload's control octets have no business in a text record.
    SMSMessage probe(static_cast<const SMSMessage&>(message));
    probe.content = diagnosticPayload();
    segments = encoder.encodeBinarySubmit(probe);
    segments.resize(1);
  } else {
    segments = encoder.encodeOutgoing(message, &refusal);
  }
  const int count = static_cast<int>(segments.size());
  if (segments.empty()) {
    Logger::log(3, "Serial port: the message can't be encoded" +
                       (refusal.empty() ? std::string() : ": " + refusal));
    WaitResult refused;
    refused.reason = refusal.empty() ? u"The message can't be encoded" : fromUtf8(refusal);
    finishMessage(message, refused, 0);
    return;
  }

  attachReplies();
  channel_.setStatus(ChannelStatus::Busy);
  const std::string command = useMemory ? "AT+CMGW=" : "AT+CMGS=";
  const std::int64_t delay = settings_.getInt("sender.delay");
  std::vector<int> values;
  WaitResult outcome;
  outcome.ok = true;
  for (int i = 0; i < count; ++i) {
    const Octets& unit = segments[static_cast<std::size_t>(i)];
    const std::size_t tpduLength = unit.size() - std::min(unit.size(), encoder.smscFieldLength());
    channel_.setAwaitingReply(true);
    if (!write(command + std::to_string(tpduLength) + "\r\n")) {
      outcome = writeFailure();
      break;
    }
    if (outcome = wait(Wait::kPrompt); !outcome.ok) break;
    if (!useMemory) channel_.awaitReplyWithin(sendTimeoutMs());
    if (!writeHexBody(std::string(unit.begin(), unit.end()))) {
      outcome = writeFailure();
      break;
    }
    if (outcome = wait(Wait::kResult); !outcome.ok) {
      if (outcome.timedOut && !useMemory && i + 1 == count) rememberGivenUp(message, count);
      break;
    }
    message.refid = outcome.value;
    values.push_back(outcome.value);
    if (i + 1 < count && delay > 0) {
      // The pause is ours, not the modem's silence: a delay longer than the reply time-out
      // must not fail the next segment.
      channel_.setAwaitingReply(false);
      if (!pause(delay)) {
        outcome.ok = false;
        outcome.cancelled = true;
        outcome.reason = kCancelledText;
        break;
      }
    }
  }

  if (outcome.ok) {
    sentCount_.fetch_add(1);
    if (useMemory) outcome = sendFromMemory(message, values);
  } else if (useMemory && readDeleteMode(settings_) == DeleteMode::kEachMessage) {
    // Segments stored before the failure would fill the storage on every retry.
    freeStorage(values);
  }
  finishMessage(message, outcome, count);
}

void SmsSender::sendText(GenericMessage& message) {
  const bool useMemory = settings_.getInt("sender.use_memory") != 0;
  if (message.kind() == MessageKind::Push) {
    Logger::log(0, std::string("WAP-Push message can't be sent in text mode, sending as text"));
  }
  attachReplies();
  channel_.setStatus(ChannelStatus::Busy);
  if ((message.flags & messageFlags::kBinary) != 0) {
    WaitResult refused;
    refused.reason = u"A binary message can only be sent in PDU mode";
    Logger::log(2, u"Serial port: " + refused.reason);
    finishMessage(message, refused, 1);
    return;
  }

  // A text beyond the GSM alphabet (or one asked for in UCS2) goes as UCS2 when the modem offers
  // it, else not at all: the modem would put "?" for every such character.
  // What the body will hold: the characters that would end it early are gone.
  const std::string plainBody = textModeBody(toUtf8(message.content));
  const bool ucs2 = needsUcs2(fromUtf8(plainBody)) || (message.flags & messageFlags::kUcs2) != 0;
  if (ucs2) {
    WaitResult prepared;
    if (!offersUcs2()) {
      prepared.reason = u"The text needs UCS2, which the modem does not offer in text mode";
      Logger::log(2, u"Serial port: " + prepared.reason);
      finishMessage(message, prepared, 1);
      return;
    }
    std::string charset;
    for (const std::u16string& line : runInlineCommand("AT+CSCS?\r\n").lines) {
      if (charset.empty()) charset = currentCharset(line);
    }
    const WaitResult parameters = runInlineCommand("AT+CSMP?\r\n");
    const std::u16string csmp = parameters.lines.empty() ? u"" : parameters.lines.front();
    charsetRestore_ = {"AT+CSCS=\"" + (charset.empty() ? "GSM" : charset) + "\"\r\n",
                       csmpCommand(csmp, -1) + "\r\n"};
    prepared = runInlineCommand("AT+CSCS=\"UCS2\"\r\n");
    if (prepared.ok) prepared = runInlineCommand(csmpCommand(csmp, 8) + "\r\n");
    if (!prepared.ok) {
      if (!prepared.cancelled) restoreCharset();
      finishMessage(message, prepared, 1);
      return;
    }
  }
  channel_.setAwaitingReply(true);

  std::string number = quotableArgument(toUtf8(message.to));
  // The command puts its own "+" in front.
  if (!number.empty() && number.front() == '+') number.erase(0, 1);
  const int type = (message.dstton << 4) | 0x81;
  const std::string address = ucs2 ? ucs2Hex(u"+" + fromUtf8(number)) : "+" + number;
  const std::string command = std::string(useMemory ? "AT+CMGW=" : "AT+CMGS=") + "\"" + address +
                              "\"," + std::to_string(type) + "\r\n";

  const std::string body = ucs2 ? ucs2Hex(fromUtf8(plainBody)) : plainBody;
  WaitResult outcome;
  if (!write(command)) {
    outcome = writeFailure();
  } else if (outcome = wait(Wait::kPrompt); outcome.ok) {
    if (!useMemory) channel_.awaitReplyWithin(sendTimeoutMs());
    expectBodyEcho(body);
    outcome = writeBody(body) ? wait(Wait::kResult) : writeFailure();
    if (outcome.timedOut && !useMemory) rememberGivenUp(message, 1);
  }
  if (outcome.ok) {
    message.refid = outcome.value;
    sentCount_.fetch_add(1);
    if (useMemory) outcome = sendFromMemory(message, {outcome.value});
  }
  // Replies, listings and later texts go as before. A send cut short leaves it for the next text.
  if (ucs2 && !outcome.cancelled) restoreCharset();
  finishMessage(message, outcome, 1);
}

void SmsSender::restoreCharset() {
  for (const std::string& line : charsetRestore_) {
    if (runInlineCommand(line).cancelled) return;
  }
  charsetRestore_.clear();
}

SmsSender::WaitResult SmsSender::sendFromMemory(GenericMessage& message,
                                                const std::vector<int>& storageIndexes) {
  WaitResult outcome;
  outcome.ok = true;
  for (std::size_t i = 0; i < storageIndexes.size(); ++i) {
    channel_.awaitReplyWithin(sendTimeoutMs());
    if (!write("AT+CMSS=" + std::to_string(storageIndexes[i]) + "\r\n")) {
      outcome = writeFailure();
      break;
    }
    if (outcome = wait(Wait::kResult); !outcome.ok) break;
    if (i == 0) message.refid = outcome.value;
  }
  freeStorage(storageIndexes);
  return outcome;
}

void SmsSender::freeStorage(const std::vector<int>& storageIndexes) {
  switch (readDeleteMode(settings_)) {
    case DeleteMode::kEachMessage:
      for (int index : storageIndexes) {
        const std::unique_ptr<ATCommandMessage> command = deleteOneCommand(index);
        admitDelete(*command);
        runInlineCommand(commandLine(command->text));
      }
      break;
    case DeleteMode::kAllAfterCount: {
      const int period = settings_.getInt("sender.delete_after");
      if (period > 0 && sentCount_.load() % period == 0) {
        const std::unique_ptr<ATCommandMessage> command = deleteAllCommand(settings_);
        admitDelete(*command);
        runInlineCommand(commandLine(command->text));
      }
      break;
    }
    case DeleteMode::kNever:
      break;
  }
}

void SmsSender::sendUssd(const USSDRequest& request) {
  attachReplies();
  channel_.setStatus(ChannelStatus::Busy);
  channel_.setAwaitingReply(true);
  const WaitResult outcome = write(ussdCommandLine(request, settings_.getInt("ussd.decode")))
                                 ? wait(Wait::kCommand)
                                 : writeFailure();
  std::unique_ptr<GenericMessage> copy = request.clone();
  finishMessage(*copy, outcome, copy->segments);
}

void SmsSender::finishMessage(GenericMessage& message, const WaitResult& outcome, int segments) {
  channel_.setAwaitingReply(false);
  bodyEcho_.clear();
  std::unique_ptr<GenericMessage> copy = message.clone();
  copy->segments = segments;
  copy->failureReason.clear();
  int flag = sendFlag::kSent;
  if (outcome.ok) {
    channel_.setStatus(ChannelStatus::Idle);
  } else {
    if (channel_.getStatus() == ChannelStatus::Busy) channel_.setStatus(ChannelStatus::Idle);
    flag = outcome.cancelled ? sendFlag::kCancelled : sendFlag::kFailed;
    copy->failureReason = outcome.reason.empty() ? u"Unknown error" : outcome.reason;
    if (outcome.cancelled) Logger::log(1, std::u16string(kCancelledText));
    setLastError(copy->failureReason);
  }
  notifyMessage(notice::kHandled, flag, std::move(copy));
}

bool SmsSender::write(const std::string& line) {
  std::string_view text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  lastWritten_ = text;
  return channel_.sendCommand(line);
}

bool SmsSender::writeHexBody(const std::string& octets) {
  lastWritten_ =
      octetsToHex(std::span(reinterpret_cast<const std::uint8_t*>(octets.data()), octets.size()));
  return channel_.sendHexBody(octets);
}

bool SmsSender::writeBody(const std::string& bytes) {
  lastWritten_ = bytes;
  return channel_.sendBody(bytes);
}

bool SmsSender::isEcho(const AsyncEvent& event) const {
  const std::string_view written = trimEcho(lastWritten_);
  return !written.empty() && equalsIgnoringCase(trimEcho(event.raw), written);
}

bool SmsSender::pause(std::int64_t milliseconds) {
  std::unique_lock lock(queueMutex_);
  return !clock_.waitUntil(queueCondition_, lock, clock_.monotonicMs() + milliseconds,
                           [this] { return stop_.load() || cancelled_.load(); });
}

void SmsSender::notifyReply(int flag, std::unique_ptr<AsyncEvent> event) {
  if (readingMemory_) flag |= notice::kReplyToMemoryRead;
  if (EngineSink* sink = sink_.load()) sink->notifyReply(notice::kReply, flag, std::move(event));
}

void SmsSender::notifyMessage(int code, int flag, std::unique_ptr<GenericMessage> message) {
  if (EngineSink* sink = sink_.load()) sink->notify(code, flag, std::move(message));
  post(code);
}

void SmsSender::post(int code) {
  if (MainWindowLink* window = window_.load()) window->post(code);
}

}  // namespace parlane
