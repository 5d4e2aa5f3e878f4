#include "engine/SmsReceiver.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>
#include <vector>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/ErrorText.h"
#include "core/util/FileIo.h"
#include "core/util/StringTable.h"
#include "core/util/ThreadName.h"
#include "core/util/Utf.h"
#include "engine/DeleteCommands.h"
#include "engine/EngineSink.h"
#include "engine/IncomingMessageBuilder.h"
#include "engine/MainWindowLink.h"
#include "engine/MemoryCommands.h"
#include "engine/ModemInitializer.h"
#include "engine/ModemModes.h"
#include "engine/ReplyFields.h"
#include "engine/SenderCommandQueue.h"
#include "gsm/HexOctets.h"
#include "gsm/PduDecoder.h"
#include "gsm/TimeStamp.h"
#include "transport/AsyncEvent.h"
#include "transport/AsyncSerialComm.h"
#include "transport/ReplyText.h"

namespace parlane {

namespace {

void logReceived(const AsyncEvent& event) {
  Logger::log(0, formatText(u"Received: %s", {event.text}));
}

void logUnexpected(const AsyncEvent& event) {
  Logger::log(2, formatText(u"Serial port: unexpected reply! Type: %d Content: %s",
                            {event.kind, event.text}));
}

// A storage index: digits only. A damaged field must never read as slot 0.
std::optional<int> readIndex(std::u16string_view field) {
  if (field.empty() || field.size() > 9) return std::nullopt;
  int value = 0;
  for (char16_t c : field) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  return value;
}

// A reply waiting in the receiving queue to be handed on; the kind is none the channel delivers.
constexpr int kPassedOnKind = -1;

struct PassedOnReply : AsyncEvent {
  PassedOnReply(int code, int flag, const AsyncEvent& reply)
      : AsyncEvent(reply), noticeCode(code), noticeFlag(flag), replyKind(reply.kind) {
    kind = kPassedOnKind;
  }
  int noticeCode;
  int noticeFlag;
  int replyKind;
};

std::vector<std::u16string> headerFields(const AsyncEvent& event) {
  return splitReplyFields(replyValue(withoutLineEnds(event.text)));
}

}  // namespace

SmsReceiver::SmsReceiver(AsyncSerialComm& channel, CommandQueue& sender,
                         const SettingsStore& settings, const Clock& clock)
    : channel_(channel), sender_(sender), settings_(settings), clock_(clock) {
  channel_.setHandler(&replies_, ReplySlot::Unsolicited);
}

SmsReceiver::SmsReceiver(AsyncSerialComm& channel, SmsSender& sender, const SettingsStore& settings,
                         const Clock& clock)
    : channel_(channel),
      ownedSender_(std::make_unique<SenderCommandQueue>(sender)),
      sender_(*ownedSender_),
      settings_(settings),
      clock_(clock) {
  channel_.setHandler(&replies_, ReplySlot::Unsolicited);
}

SmsReceiver::~SmsReceiver() {
  stop();
  join();
  ReplyQueue* attached = channel_.setHandler(nullptr, ReplySlot::Unsolicited);
  if (attached != &replies_) channel_.setHandler(attached, ReplySlot::Unsolicited);
}

void SmsReceiver::setSink(EngineSink* sink) { sink_.store(sink); }

void SmsReceiver::setWindow(MainWindowLink* window) { window_.store(window); }

void SmsReceiver::setInitializer(ModemInitializer* initializer) { initializer_.store(initializer); }

void SmsReceiver::releaseHeldNotices() {
  for (std::unique_ptr<AsyncEvent>& notice : heldNotices_.release())
    replies_.push(std::move(notice));
}

void SmsReceiver::passOnInLineOrder(int code, int flag, std::unique_ptr<AsyncEvent> reply) {
  if (!reply) return;
  replies_.push(std::make_unique<PassedOnReply>(code, flag, *reply));
}

void SmsReceiver::start() {
  if (thread_.joinable()) return;
  stop_.store(false);
  thread_ = std::thread([this] { run(); });
  nameThread(thread_, "receiver");
}

void SmsReceiver::stop() {
  stop_.store(true);
  replies_.push(nullptr);  // wakes the thread
}

void SmsReceiver::join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void SmsReceiver::run() {
  while (!stop_.load()) {
    const std::optional<std::int64_t> deadline = partsDeadlineMs();
    std::unique_ptr<AsyncEvent> event =
        deadline ? replies_.popUntil(clock_, *deadline) : replies_.pop();
    if (stop_.load()) break;
    if (event) handle(*event);  // null: woken by a clear of the queue, or parts to give up
    expireParts();
  }
}

void SmsReceiver::setPartsFile(std::string path) {
  partsFile_ = std::move(path);
  if (partsFile_.empty()) return;
  const std::optional<std::string> text = readWholeFile(partsFile_);
  if (!text) {
    if (errno != ENOENT) {
      Logger::log(3, "Can't read the waiting parts of long messages from " + partsFile_ + ": " +
                         toUtf8(errorText(errno)));
    }
    return;
  }
  std::size_t skipped = 0;
  fragments_.deserialize(*text, &skipped);
  if (skipped > 0) {
    Logger::log(2, std::to_string(skipped) + " unreadable line(s) of " + partsFile_ + " skipped");
  }
  if (fragments_.size() > 0) {
    Logger::log(0, std::to_string(fragments_.size()) +
                       " part(s) of long messages wait for the rest of their message");
  }
}

void SmsReceiver::saveParts() {
  if (partsFile_.empty()) return;
  if (writeFileAtomically(partsFile_, fragments_.serialize())) {
    partsSaveFailed_ = false;
  } else if (!partsSaveFailed_) {
    // Once per failure: the parts stay in memory and the next change tries again.
    partsSaveFailed_ = true;
    Logger::log(3, "Can't write the waiting parts of long messages to " + partsFile_ + ": " +
                       toUtf8(errorText(errno)));
  }
}

void SmsReceiver::freeSavedSlots() {
  if (partsFile_.empty() || partsSaveFailed_) return;
  if (readDeleteMode(settings_) == DeleteMode::kNever) return;
  for (ModemSlot slot : fragments_.releaseSlots()) queue(deleteReadMessageCommand(slot));
}

int SmsReceiver::partsTimeout() const {
  // A configuration saved before the setting existed lacks it: the default, not "for ever".
  if (settings_.getString("receiver.parts_timeout").empty()) return kDefaultPartsTimeout;
  return settings_.getInt("receiver.parts_timeout");
}

std::optional<std::int64_t> SmsReceiver::partsDeadlineMs() const {
  const int timeout = partsTimeout();
  const std::optional<std::time_t> earliest = fragments_.earliestArrival();
  if (timeout <= 0 || !earliest) return std::nullopt;
  const std::int64_t waitSeconds =
      static_cast<std::int64_t>(*earliest) + timeout - clock_.wallSeconds();
  return clock_.monotonicMs() + std::max<std::int64_t>(0, waitSeconds) * 1000;
}

void SmsReceiver::expireParts() {
  const int timeout = partsTimeout();
  if (timeout <= 0 || fragments_.size() == 0) return;
  // Waited `timeout` seconds or more: arrived at or before now - timeout.
  const auto expired = fragments_.takeExpired(clock_.wallSeconds() - timeout + 1);
  if (expired.empty()) return;
  saveParts();
  for (const std::vector<ReceivedPdu>& parts : expired) {
    std::vector<int> missing;
    std::unique_ptr<GenericMessage> message = assembleWithGaps(parts, missing);
    std::u16string numbers;
    for (int number : missing) {
      if (!numbers.empty()) numbers += u", ";
      numbers += fromAscii(std::to_string(number));
    }
    Logger::log(2, formatText(u"Long SMS from %s: part(s) %s of %d never came; stored with [...] "
                              u"in their place",
                              {parts.front().party, numbers, parts.front().total}));
    notifyMessage(std::move(message), kDirectMessage);
  }
}

bool SmsReceiver::textMode() const { return readSendMode(settings_) == SendMode::kText; }

std::unique_ptr<ATCommandMessage> SmsReceiver::storageSelection() const {
  ModemInitializer* initializer = initializer_.load();
  if (!initializer) return nullptr;
  return storageSelectionCommand(initializer->memoryName(0), initializer->memoryName(1),
                                 initializer->memoryName(2));
}

void SmsReceiver::handle(const AsyncEvent& event) {
  switch (event.kind) {
    case kPassedOnKind: {
      const auto& passed = static_cast<const PassedOnReply&>(event);
      auto reply = std::make_unique<AsyncEvent>(event);
      reply->kind = passed.replyKind;
      if (EngineSink* sink = sink_.load()) {
        sink->notifyReply(passed.noticeCode, passed.noticeFlag | notice::kReplyInLineOrder,
                          std::move(reply));
      }
      break;
    }
    case AsyncEvent::kPrompt:
      logUnexpected(event);
      channel_.sendCommand(std::string(1, '\x1a'));  // closes the prompt
      break;
    case AsyncEvent::kError:
    case AsyncEvent::kCodedError:
      Logger::log(3, formatString(40009, {event.text}));
      if (EngineSink* sink = sink_.load()) {
        sink->notifyReply(notice::kReply, 0, std::make_unique<AsyncEvent>(event));
      }
      break;
    case AsyncEvent::kMessage:
      onHeader(event, false);
      break;
    case AsyncEvent::kReport:
      onHeader(event, true);
      break;
    case AsyncEvent::kMessageIndex:
    case AsyncEvent::kReportIndex:
      if (heldNotices_.hold(
              event, [this] { return channel_.getStatus() == ChannelStatus::Configuring; })) {
        logReceived(event);
        Logger::log(1, std::string("Notice kept until the initialization has ended"));
        break;
      }
      onIndex(event, event.kind == AsyncEvent::kReportIndex);
      break;
    case AsyncEvent::kInformation:
      onLine(event);
      break;
    case AsyncEvent::kCall:
      logReceived(event);
      if (settings_.getInt("calls.handle") == 1) {
        if (EngineSink* sink = sink_.load()) {
          sink->notifyReply(notice::kCall, 0, std::make_unique<AsyncEvent>(event));
        }
      }
      break;
    default:
      logUnexpected(event);
      break;
  }
}

void SmsReceiver::onHeader(const AsyncEvent& event, bool report) {
  logReceived(event);
  if (textMode()) {
    const std::vector<std::u16string> fields = headerFields(event);
    originator_ = fields[0];
    if (fields.size() >= 3) timestamp_ = parseTextTimeStamp(fields[2]);
  }
  expect_ = report ? kDirectReport : kDirectMessage;
  index_ = -1;
}

void SmsReceiver::onIndex(const AsyncEvent& event, bool report) {
  logReceived(event);
  const std::vector<std::u16string> fields = headerFields(event);
  if (fields.size() >= 2) {
    if (const std::optional<int> index = readIndex(fields[1])) {
      index_ = *index;
      readAt_ = event.readAt;
      ModemInitializer* initializer = initializer_.load();
      if (initializer && !fields[0].empty() && fields[0] != initializer->memoryName(0)) {
        initializer->setMemoryName(0, fields[0]);
        if (auto selection = storageSelection()) queue(std::move(selection));
      }
      queue(readMessageCommand(index_));
    } else {
      Logger::log(2, formatText(u"Invalid storage index, notification ignored: %s", {event.text}));
    }
  }
  expect_ = report ? kIndexedReport : kIndexedMessage;
}

void SmsReceiver::onLine(const AsyncEvent& event) {
  logReceived(event);
  if (startsWithNoCase(event.text, "+CMGR:")) {
    expect_ = kReadMessage;
    // The slot of the read being answered, stamped by the channel; none when the read is
    // unknown (a late reply, a command typed by the user): such a message is never deleted.
    index_ = event.memoryIndex;
    readAt_ = event.readAt;
    if (textMode()) {
      const std::vector<std::u16string> fields = headerFields(event);
      if (fields.size() >= 2) originator_ = fields[1];
      if (fields.size() >= 4) timestamp_ = parseTextTimeStamp(fields[3]);
    }
  } else if (startsWithNoCase(event.text, "+CMGL:")) {
    expect_ = kListedMessage;
    const std::vector<std::u16string> fields = headerFields(event);
    index_ = readIndex(fields[0]).value_or(-1);
    readAt_ = event.readAt;
    if (index_ >= 0 && fields.size() >= 2) {
      const bool unread = fields[1] == u"0" || fields[1] == u"REC UNREAD";
      if (unread) {
        unreadListed_.insert(index_);
      } else {
        unreadListed_.erase(index_);
      }
    }
    if (textMode()) {
      if (fields.size() >= 3) originator_ = fields[2];
      if (fields.size() >= 5) timestamp_ = parseTextTimeStamp(fields[4]);
    }
  } else if (ModemInitializer::isUssdTestResponse(event)) {
    // The answer to "AT+CUSD=?": for the initializer, not a reply to show to the user.
    if (ModemInitializer* initializer = initializer_.load()) {
      initializer->noteUssdTestResponse(event);
    }
  } else if (startsWithNoCase(event.text, "+CUSD:")) {
    if (EngineSink* sink = sink_.load()) {
      sink->notifyReply(notice::kReply, 1, std::make_unique<AsyncEvent>(event));
    }
  } else {
    onBody(event);
  }
}

void SmsReceiver::onBody(const AsyncEvent& event) {
  if (textMode()) {
    notifyMessage(textModeMessage(originator_, timestamp_, event.text, {index_, readAt_}), expect_);
    return;
  }
  const std::optional<std::vector<std::uint8_t>> octets =
      hexToOctets(trimBlanks(withoutLineEnds(event.text)));
  std::optional<ReceivedPdu> part;
  if (octets) {
    PduDecoderOptions options;
    options.statusReportWithoutSmsc = settings_.getInt("cds_no_smsc_addr") != 0;
    part = expect_ == kDirectReport ? decodeStatusReportPdu(*octets, options)
                                    : decodeDeliverPdu(*octets, options);
  }
  if (!part) {
    Logger::log(2, formatText(u"Received PDU can't be decoded, skipped: %s", {event.text}));
    return;
  }
  part->memoryIndex = index_;
  part->memoryReadAt = readAt_;
  processPdu(std::move(*part), expect_);
}

void SmsReceiver::processPdu(ReceivedPdu part, int expect) {
  const int number = part.index + 1;
  const int total = part.total;
  const FragmentStore::Offer offer = fragments_.add(std::move(part), clock_.wallSeconds());
  if (offer.outcome == FragmentStore::Outcome::kOutOfRange) {
    Logger::log(
        2, formatText(u"Concatenated SMS part %d of %d is out of range, dropped", {number, total}));
    return;
  }
  if (offer.outcome == FragmentStore::Outcome::kDuplicate) {
    Logger::log(2, std::u16string(u"Duplicate PDU ignored"));
    if (offer.heldSlot.index >= 0) queue(deleteReadMessageCommand(offer.heldSlot));
    freeSavedSlots();  // the copy's slot, lent to the part held
    return;
  }
  std::vector<std::vector<ReceivedPdu>> complete;
  for (std::vector<ReceivedPdu> parts = fragments_.takeComplete(); !parts.empty();
       parts = fragments_.takeComplete()) {
    complete.push_back(std::move(parts));
  }
  if (readDeleteMode(settings_) == DeleteMode::kEachMessage) {
    for (ModemSlot slot : fragments_.takeStale(clock_.wallSeconds() - kStalePartSeconds)) {
      queue(deleteReadMessageCommand(slot));
    }
  }
  // A part is stored, or a message left the store. Until the inbox is saved, the modem memory
  // still holds what a completed message is made of.
  saveParts();
  freeSavedSlots();
  for (const std::vector<ReceivedPdu>& parts : complete)
    notifyMessage(assembleMessage(parts), expect);
}

void SmsReceiver::queue(std::unique_ptr<ATCommandMessage> command) {
  if (command) sender_.queueCommand(std::move(command));
}

void SmsReceiver::notifyMessage(std::unique_ptr<GenericMessage> message, int expect) {
  const int code = expect == kListedMessage ? notice::kFound : notice::kIncoming;
  int unread = 0;
  if (message) {
    for (ModemSlot slot : message->memorySlots) {
      if (unreadListed_.erase(slot.index) != 0 && code == notice::kFound) unread = 1;
    }
  }
  if (EngineSink* sink = sink_.load()) sink->notify(code, unread, std::move(message));
  post(code);
}

void SmsReceiver::post(int code) {
  if (MainWindowLink* window = window_.load()) window->post(code);
}

}  // namespace parlane
