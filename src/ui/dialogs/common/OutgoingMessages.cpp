#include "ui/dialogs/common/OutgoingMessages.h"

#include "gsm/Numbers.h"
#include "message/MessageFlags.h"
#include "message/PushMessage.h"
#include "message/SMSMessage.h"
#include "message/TonAutoRule.h"
#include "ui/dialogs/common/AsciiConversion.h"

namespace parlane {

std::vector<std::unique_ptr<GenericMessage>> buildOutgoingMessages(
    const SendContent& content, const std::vector<std::u16string>& recipients,
    std::vector<std::u16string>& invalid) {
  std::u16string text = content.text;
  if (content.toAscii) convertToAscii(text);
  std::int32_t flags = 0;
  if (content.flash) flags |= messageFlags::kFlash;
  if (content.report) flags |= messageFlags::kReport;

  std::vector<std::unique_ptr<GenericMessage>> messages;
  for (const std::u16string& recipient : recipients) {
    const std::int32_t ton = content.tonIndex == 0
                                 ? static_cast<std::int32_t>(resolveAutoTon(recipient))
                                 : content.tonIndex - 1;
    std::u16string number = recipient;
    if (!normalizeNumber(number, ton)) {
      invalid.push_back(recipient);
      continue;
    }
    std::unique_ptr<SMSMessage> message;
    if (content.push) {
      message = std::make_unique<PushMessage>(content.source, number, text, content.url);
    } else {
      message = std::make_unique<SMSMessage>(content.source, number, text);
    }
    message->dstton = ton;
    message->flags = flags;
    messages.push_back(std::move(message));
  }
  return messages;
}

std::vector<std::u16string> invalidRecipients(const std::vector<std::u16string>& recipients,
                                              int tonIndex) {
  std::vector<std::u16string> invalid;
  for (const std::u16string& recipient : recipients) {
    const std::int32_t ton =
        tonIndex == 0 ? static_cast<std::int32_t>(resolveAutoTon(recipient)) : tonIndex - 1;
    std::u16string number = recipient;
    if (!normalizeNumber(number, ton)) invalid.push_back(recipient);
  }
  return invalid;
}

bool isReplyable(const std::u16string& sender) {
  return !sender.empty() && invalidRecipients({sender}, 0).empty();
}

std::u16string noReplyReason(const std::u16string& sender) {
  return u"'" + sender + u"' is no phone number: a reply can't reach it";
}

}  // namespace parlane
