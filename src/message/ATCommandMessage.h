#pragma once

#include <memory>
#include <string>

#include "message/MessageKind.h"
#include "message/ModemSlot.h"

namespace parlane {

// One ready-made AT command line queued for the engine unchanged (it adds the line end).
class ATCommandMessage {
 public:
  explicit ATCommandMessage(std::u16string commandText) : text(std::move(commandText)) {}
  virtual ~ATCommandMessage() = default;

  virtual int getType() const { return static_cast<int>(MessageKind::AtCommand); }
  virtual std::u16string getTypeName() const {
    return std::u16string(messageKindName(MessageKind::AtCommand));
  }
  virtual std::unique_ptr<ATCommandMessage> clone() const {
    return std::make_unique<ATCommandMessage>(*this);
  }

  std::u16string text;
  // The memory slot the command reads (-1: none); the lines of its reply carry it.
  int memoryIndex = -1;
  // A delete of one slot (index -1: none). When `checksRead`, it is not written if another delete
  // freed the slot after `deletes.readAt`: the message read from it is gone already, and the slot
  // may hold a new one that nobody has read.
  ModemSlot deletes;
  bool checksRead = false;
  // A delete of the whole memory.
  bool deletesAll = false;
  // Written next when the modem answers this command with an error ("ATH" for "AT+CHUP"); empty:
  // none.
  std::u16string fallback;
};

}  // namespace parlane
