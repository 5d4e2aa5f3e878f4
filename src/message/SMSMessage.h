#pragma once

#include "message/GenericMessage.h"

namespace parlane {

// An ordinary short message, incoming or outgoing.
class SMSMessage : public GenericMessage {
 public:
  SMSMessage() = default;
  explicit SMSMessage(const Clock& clock) : GenericMessage(clock) {}
  SMSMessage(std::u16string source, std::u16string to, std::u16string content, std::int32_t id = -1,
             const Clock& clock = Clock::system())
      : GenericMessage(std::move(source), std::move(to), std::move(content), id, clock) {}

  int getType() const override { return static_cast<int>(MessageKind::Sms); }
  std::u16string getTypeName() const override {
    return std::u16string(messageKindName(MessageKind::Sms));
  }
  std::unique_ptr<GenericMessage> clone() const override {
    return std::make_unique<SMSMessage>(*this);
  }
};

}  // namespace parlane
