// Arbitrary modem bytes in arbitrary chunks through the receive buffer, the framing and the
// classification. The first byte of each chunk says how long it is. Every line event must carry
// its own text (line breaks only inside a message text or a USSD reply), the buffer never holds
// more than its 65,535 bytes, and every information line must survive being read as a
// StringReplyEvent and a ListReplyEvent.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/util/Utf.h"
#include "transport/ListReplyEvent.h"
#include "transport/ReceiveBuffer.h"
#include "transport/ReplyParser.h"
#include "transport/StringReplyEvent.h"

namespace {

class CheckingSink : public parlane::ReplySink {
 public:
  bool accepts(parlane::ReplySlot slot) const override {
    return slot != parlane::ReplySlot::Written;
  }
  void deliver(parlane::ReplySlot, std::unique_ptr<parlane::AsyncEvent> event) override {
    if (event->kind < 2 || event->kind > 13 || event->kind == 8) __builtin_trap();
    if (event->raw.empty()) __builtin_trap();
    if (event->kind != parlane::AsyncEvent::kCodedError &&
        parlane::toUtf8(event->text) != event->raw) {
      __builtin_trap();
    }
    // Only a message text or a USSD reply of several lines carries line breaks inside.
    if (event->kind != parlane::AsyncEvent::kInformation &&
        event->raw.find_first_of("\r\n") != std::string::npos) {
      __builtin_trap();
    }
    if (event->kind == parlane::AsyncEvent::kInformation) {
      const parlane::StringReplyEvent split(*event);
      const parlane::ListReplyEvent list(*event);
      if (!split.malformed && split.name.size() >= event->text.size()) __builtin_trap();
      for (std::size_t row = 0; row <= list.rows.size(); ++row)
        (void)list.lookup(255, static_cast<int>(row));
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static parlane::ReceiveBuffer buffer;
  buffer.clear();
  parlane::ReplyParser parser;
  CheckingSink sink;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  while (!input.empty()) {
    const std::size_t chunk =
        std::min<std::size_t>(static_cast<unsigned char>(input.front()) * 64 + 1, input.size() - 1);
    input.remove_prefix(1);
    buffer.appendAndParse(input.substr(0, chunk), parser, sink);
    if (buffer.length() > parlane::ReceiveBuffer::kMaxLength) __builtin_trap();
    input.remove_prefix(chunk);
  }
  return 0;
}
