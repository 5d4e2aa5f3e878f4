#pragma once

#include "message/SMSMessage.h"

namespace parlane {

// A USSD request; `content` holds the USSD string, and the reply once it came.
class USSDRequest : public SMSMessage {
 public:
  USSDRequest() = default;
  explicit USSDRequest(const Clock& clock) : SMSMessage(clock) {}
  USSDRequest(std::u16string source, std::u16string to, std::u16string content,
              std::int32_t id = -1, const Clock& clock = Clock::system())
      : SMSMessage(std::move(source), std::move(to), std::move(content), id, clock) {}

  int getType() const override { return static_cast<int>(MessageKind::Ussd); }
  std::u16string getTypeName() const override {
    return std::u16string(messageKindName(MessageKind::Ussd));
  }
  std::unique_ptr<GenericMessage> clone() const override {
    return std::make_unique<USSDRequest>(*this);
  }
};

}  // namespace parlane
