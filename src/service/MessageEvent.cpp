#include "service/MessageEvent.h"

#include "core/util/ScheduleTime.h"
#include "core/util/Utf.h"
#include "message/GenericMessage.h"
#include "message/PushMessage.h"

namespace parlane {

namespace {

// Environment values end at a NUL byte: none may hold one.
std::string withoutNul(std::string text) {
  std::erase(text, '\0');
  return text;
}

}  // namespace

MessageEvent MessageEvent::of(Kind kind, const GenericMessage& message) {
  MessageEvent event;
  event.kind = kind;
  event.id = std::to_string(message.uniqueid);
  event.number =
      toUtf8(kind == Kind::Received || kind == Kind::Report ? message.source : message.to);
  event.text = toUtf8(message.content);
  event.time = formatScheduleTime(message.timestamp);
  event.type = toUtf8(message.getTypeName());
  event.url = toUtf8(message.getUrl());
  if (kind == Kind::Sent || kind == Kind::Report) event.reference = std::to_string(message.refid);
  event.custom = toUtf8(message.custom);
  if (kind == Kind::Failed) {
    event.reason = toUtf8(message.failureReason);
    // For event programs a failure's status is its reason ("expired", the modem's error).
    event.status = event.reason;
  }
  return event;
}

const char* MessageEvent::kindName(Kind kind) {
  switch (kind) {
    case Kind::Received:
      return "received";
    case Kind::Sent:
      return "sent";
    case Kind::Failed:
      return "failed";
    case Kind::Report:
      return "report";
    case Kind::Call:
      return "call";
  }
  return "";
}

std::vector<std::string> MessageEvent::environment(int instance) const {
  bool truncated = false;
  // Longer values would make the program fail to start ("Argument list too long"); the cut is
  // made before a UTF-8 sequence.
  const auto bounded = [&truncated](std::string value) {
    if (value.size() <= kMaxVariableBytes) return value;
    std::size_t end = kMaxVariableBytes;
    while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) --end;
    value.resize(end);
    truncated = true;
    return value;
  };
  const std::pair<const char*, std::string> values[] = {
      {"PARLANE_EVENT", kindName(kind)},
      {"PARLANE_ID", id},
      {"PARLANE_NUMBER", number},
      {"PARLANE_TEXT", text},
      {"PARLANE_TIME", time},
      {"PARLANE_TYPE", type},
      {"PARLANE_URL", url},
      {"PARLANE_REFERENCE", reference},
      {"PARLANE_CUSTOM", custom},
      {"PARLANE_STATUS", status},
      {"PARLANE_INSTANCE", std::to_string(instance)},
  };
  std::vector<std::string> out;
  for (const auto& [name, value] : values)
    out.push_back(std::string(name) + "=" + bounded(withoutNul(value)));
  if (truncated) out.emplace_back("PARLANE_TRUNCATED=1");
  return out;
}

}  // namespace parlane
