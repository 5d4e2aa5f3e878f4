#pragma once

#include "message/SMSMessage.h"

namespace parlane {

// A delivery status report: `source` is the recipient the report is about, `refid` the reference
// of the reported message. Its id always comes from the counter.
class StatusReport : public SMSMessage {
 public:
  StatusReport() = default;
  explicit StatusReport(const Clock& clock) : SMSMessage(clock) {}
  StatusReport(std::u16string source, std::u16string to, std::int32_t reference,
               MessageTime discharge, std::int32_t status, const Clock& clock = Clock::system())
      : SMSMessage(std::move(source), std::move(to), std::u16string(), -1, clock),
        dischargeTime(discharge),
        reportStatus(status) {
    refid = reference;
  }

  int getType() const override { return static_cast<int>(MessageKind::StatusReport); }
  std::u16string getTypeName() const override {
    return std::u16string(messageKindName(MessageKind::StatusReport));
  }
  std::unique_ptr<GenericMessage> clone() const override {
    return std::make_unique<StatusReport>(*this);
  }

  MessageTime dischargeTime = 0;
  std::int32_t reportStatus = 0;
};

}  // namespace parlane
