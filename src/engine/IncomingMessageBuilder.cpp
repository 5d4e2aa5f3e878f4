#include "engine/IncomingMessageBuilder.h"

#include "core/log/Logger.h"
#include "gsm/PushDecoder.h"
#include "message/PushMessage.h"
#include "message/SMSMessage.h"
#include "message/StatusReport.h"

namespace parlane {

namespace {

void stampWith(GenericMessage& message, std::time_t time) {
  if (time <= 0) return;  // no stamp: the time of arrival stands
  message.created = static_cast<MessageTime>(time);
  message.timestamp = message.created;
  message.expiry = message.timestamp + GenericMessage::kDefaultValidity;
}

}  // namespace

std::unique_ptr<GenericMessage> assembleMessage(const std::vector<ReceivedPdu>& parts) {
  if (parts.empty()) return nullptr;
  const ReceivedPdu& first = parts.front();
  std::unique_ptr<GenericMessage> message;
  if (parts.size() == 1 && first.kind == ReceivedPdu::kStatusReport) {
    message =
        std::make_unique<StatusReport>(first.party, std::u16string(), first.messageReference,
                                       static_cast<MessageTime>(first.dischargeTime), first.status);
  } else {
    std::u16string text;
    for (const ReceivedPdu& part : parts) text += part.text;
    if (first.portAddressed != 0) {
      if (auto push = decodePush(std::u16string_view(text))) {
        message = std::make_unique<PushMessage>(first.party, std::u16string(),
                                                std::move(push->text), std::move(push->url));
      } else {
        // Port-addressed data that is no push we know: kept as it came rather than lost.
        Logger::log(1, std::u16string(u"Port addressed SMS is not a WAP Push, kept as SMS"));
      }
    }
    if (!message) message = std::make_unique<SMSMessage>(first.party, std::u16string(), text);
  }
  stampWith(*message, first.time);
  message->segments = static_cast<std::int32_t>(parts.size());
  for (const ReceivedPdu& part : parts) {
    if (part.memoryIndex >= 0)
      message->memorySlots.push_back({part.memoryIndex, part.memoryReadAt});
  }
  return message;
}

std::unique_ptr<GenericMessage> assembleWithGaps(const std::vector<ReceivedPdu>& parts,
                                                 std::vector<int>& missing) {
  if (parts.empty()) return nullptr;
  std::vector<ReceivedPdu> whole;
  std::size_t next = 0;
  for (std::int32_t index = 0; index < parts.front().total; ++index) {
    if (next < parts.size() && parts[next].index == index) {
      whole.push_back(parts[next++]);
      continue;
    }
    ReceivedPdu gap = parts.front();
    gap.index = index;
    gap.text = u"[...]";
    gap.memoryIndex = -1;
    whole.push_back(std::move(gap));
    missing.push_back(index + 1);
  }
  whole.front().portAddressed = 0;
  whole.front().kind = ReceivedPdu::kDeliver;
  return assembleMessage(whole);
}

std::unique_ptr<GenericMessage> textModeMessage(const std::u16string& originator,
                                                std::time_t timestamp, const std::u16string& body,
                                                ModemSlot slot) {
  auto message = std::make_unique<SMSMessage>(originator, std::u16string(), body);
  stampWith(*message, timestamp);
  message->segments = 1;
  if (slot.index != -1) message->memorySlots.push_back(slot);
  return message;
}

}  // namespace parlane
