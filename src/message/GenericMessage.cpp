#include "message/GenericMessage.h"

#include "message/MessageIdCounter.h"
#include "message/TonAutoRule.h"

namespace parlane {

GenericMessage::GenericMessage(const Clock& clock)
    : created(messageTimeNow(clock)),
      timestamp(created),
      expiry(timestamp + kDefaultValidity),
      uniqueid(MessageIdCounter::take()) {}

GenericMessage::GenericMessage(std::u16string sourceNumber, std::u16string toNumber,
                               std::u16string text, std::int32_t id, const Clock& clock)
    : created(messageTimeNow(clock)),
      timestamp(created),
      expiry(timestamp + kDefaultValidity),
      uniqueid(id == -1 ? MessageIdCounter::take() : id),
      source(std::move(sourceNumber)),
      to(std::move(toNumber)),
      content(std::move(text)),
      srcton(resolveAutoTon(source)),
      dstton(resolveAutoTon(to)) {}

bool GenericMessage::isSame(const GenericMessage& other) const {
  return content == other.content && created == other.created && source == other.source &&
         to == other.to;
}

}  // namespace parlane
