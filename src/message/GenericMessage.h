#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "message/MessageKind.h"
#include "message/MessageTime.h"
#include "message/ModemSlot.h"

namespace parlane {

// Base of every short message object (SMS, push, USSD, status report): the fields the folders
// keep and the operations the queues, folders and dialogs use. Type codes and names are those of
// MessageKind; the bits of `flags` are in MessageFlags.h.
class GenericMessage {
 public:
  static constexpr MessageTime kDefaultValidity = 86400;

  virtual ~GenericMessage() = default;

  virtual int getType() const = 0;
  virtual std::u16string getTypeName() const = 0;
  MessageKind kind() const { return static_cast<MessageKind>(getType()); }
  // A new object of the same class with every field copied, id and times included.
  virtual std::unique_ptr<GenericMessage> clone() const = 0;
  virtual std::u16string getUrl() const { return {}; }
  virtual std::int32_t getId() const { return uniqueid; }
  virtual void setId(std::int32_t id) { uniqueid = id; }
  virtual std::u16string getCustom() const { return custom; }
  virtual void setCustom(const std::u16string& text) { custom = text; }
  // Same content, creation time, source and destination (exact comparison).
  virtual bool isSame(const GenericMessage& other) const;

  std::u16string getSource() const { return source; }
  std::u16string getTo() const { return to; }
  std::u16string getContent() const { return content; }

  MessageTime created;
  MessageTime timestamp;
  MessageTime expiry;
  // The gateway's own times, 0 when none: the message is not handed to the modem before
  // `notBefore`, and is given up ("expired") when it could not be sent by `expires`. Unlike
  // `expiry` (the validity period the network honours) they never reach the PDU.
  MessageTime notBefore = 0;
  MessageTime expires = 0;
  std::int32_t uniqueid;
  std::int32_t refid = 0;
  std::int32_t segments = 0;
  std::u16string source;
  std::u16string to;
  std::u16string content;
  std::int32_t flags = 0;
  // The modem memory slots a received message was read from.
  std::vector<ModemSlot> memorySlots;
  std::int32_t srcton = 1;
  std::int32_t dstton = 1;
  std::int32_t attempts = 0;
  std::u16string custom;
  // Why the last sending attempt failed; travels with the send result, never kept in a folder.
  std::u16string failureReason;

 protected:
  // Empty strings, a fresh id, now, one day of validity, both TONs international. "Now" is read
  // from `clock`.
  explicit GenericMessage(const Clock& clock = Clock::system());
  // source/to/content given; id -1 takes the next id; TONs resolved from the numbers.
  GenericMessage(std::u16string source, std::u16string to, std::u16string content, std::int32_t id,
                 const Clock& clock = Clock::system());
  GenericMessage(const GenericMessage&) = default;
  GenericMessage& operator=(const GenericMessage&) = default;
};

}  // namespace parlane
