#include "service/EventQueueFile.h"

#include <array>

#include "service/FieldEscaping.h"

namespace parlane {

namespace {

constexpr std::string_view kHeader = "parlane events 1";
constexpr std::size_t kFields = 10;

bool kindOf(std::string_view name, MessageEvent::Kind& kind) {
  for (MessageEvent::Kind k :
       {MessageEvent::Kind::Received, MessageEvent::Kind::Sent, MessageEvent::Kind::Failed,
        MessageEvent::Kind::Report, MessageEvent::Kind::Call}) {
    if (name == MessageEvent::kindName(k)) {
      kind = k;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string formatEventQueue(const std::vector<MessageEvent>& events) {
  std::string out = std::string(kHeader) + "\n";
  for (const MessageEvent& e : events) {
    const std::array<const std::string*, kFields - 1> fields = {
        &e.id, &e.number, &e.text, &e.time, &e.type, &e.url, &e.reference, &e.custom, &e.status};
    out += MessageEvent::kindName(e.kind);
    for (const std::string* field : fields) out += "\t" + escapedField(*field);
    out += "\n";
  }
  return out;
}

std::vector<MessageEvent> parseEventQueue(std::string_view text, std::size_t& skipped) {
  std::vector<MessageEvent> events;
  skipped = 0;
  bool first = true;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (first) {
      first = false;
      if (line == kHeader) continue;
    }
    if (line.empty()) continue;
    std::vector<std::string_view> parts;
    for (std::size_t begin = 0;;) {
      const std::size_t tab = line.find('\t', begin);
      parts.push_back(line.substr(begin, tab == std::string_view::npos ? tab : tab - begin));
      if (tab == std::string_view::npos) break;
      begin = tab + 1;
    }
    MessageEvent event;
    const std::array<std::string*, kFields - 1> fields = {
        &event.id,  &event.number,    &event.text,   &event.time,  &event.type,
        &event.url, &event.reference, &event.custom, &event.status};
    bool good = parts.size() == kFields && kindOf(parts[0], event.kind);
    for (std::size_t i = 0; good && i < fields.size(); ++i)
      good = unescapeField(parts[i + 1], *fields[i]);
    if (good) {
      events.push_back(std::move(event));
    } else {
      ++skipped;
    }
  }
  return events;
}

}  // namespace parlane
