#pragma once

#include "message/SMSMessage.h"

namespace parlane {

// A WAP Push service indication: a text and the address it points to.
class PushMessage : public SMSMessage {
 public:
  PushMessage() = default;
  explicit PushMessage(const Clock& clock) : SMSMessage(clock) {}
  PushMessage(std::u16string source, std::u16string to, std::u16string content,
              std::u16string pushUrl, std::int32_t id = -1, const Clock& clock = Clock::system())
      : SMSMessage(std::move(source), std::move(to), std::move(content), id, clock),
        url(std::move(pushUrl)) {}

  int getType() const override { return static_cast<int>(MessageKind::Push); }
  std::u16string getTypeName() const override {
    return std::u16string(messageKindName(MessageKind::Push));
  }
  std::unique_ptr<GenericMessage> clone() const override {
    return std::make_unique<PushMessage>(*this);
  }
  std::u16string getUrl() const override { return url; }

  std::u16string url;
};

}  // namespace parlane
