#pragma once

#include <memory>
#include <string>

namespace parlane {

// One ready-made AT command line queued for the engine unchanged (it adds the line end).
class ATCommandMessage {
 public:
  explicit ATCommandMessage(std::u16string commandText) : text(std::move(commandText)) {}
  virtual ~ATCommandMessage() = default;

  virtual int getType() const { return 0; }
  virtual std::u16string getTypeName() const { return u"at"; }
  virtual std::unique_ptr<ATCommandMessage> clone() const {
    return std::make_unique<ATCommandMessage>(*this);
  }

  std::u16string text;
};

}  // namespace parlane
