#include "ui/dialogs/send/SendList.h"

#include "gsm/Numbers.h"
#include "message/MessageFlags.h"
#include "message/SMSMessage.h"
#include "message/TonAutoRule.h"
#include "ui/dialogs/common/AsciiConversion.h"
#include "ui/dialogs/send/RecipientText.h"

namespace parlane {

namespace {

bool acceptLine(std::u16string_view line, SendListEntry& entry) {
  const std::size_t comma = line.find(u',');
  if (comma == std::u16string_view::npos) return false;
  const std::vector<std::u16string> numbers = splitRecipients(line.substr(0, comma));
  if (numbers.size() != 1) return false;
  std::u16string check = numbers.front();
  if (!normalizeNumber(check, resolveAutoTon(check))) return false;
  entry.number = numbers.front();
  entry.text = std::u16string(line.substr(comma + 1));
  return !entry.text.empty();
}

}  // namespace

ParsedSendList parseSendList(std::u16string_view list) {
  ParsedSendList parsed;
  std::size_t lineNumber = 0;
  while (!list.empty()) {
    ++lineNumber;
    std::size_t end = list.find_first_of(u"\r\n");
    const std::u16string_view line = list.substr(0, end);
    if (end == std::u16string_view::npos) {
      list = {};
    } else {
      const bool crlf = list[end] == u'\r' && end + 1 < list.size() && list[end + 1] == u'\n';
      list.remove_prefix(end + (crlf ? 2 : 1));
    }
    SendListEntry entry;
    if (acceptLine(line, entry)) {
      parsed.entries.push_back(std::move(entry));
    } else {
      parsed.rejectedLines.push_back(lineNumber);
    }
  }
  return parsed;
}

std::vector<std::unique_ptr<GenericMessage>> buildListMessages(
    const std::vector<SendListEntry>& entries, bool report, bool toAscii) {
  std::vector<std::unique_ptr<GenericMessage>> messages;
  messages.reserve(entries.size());
  for (const SendListEntry& entry : entries) {
    std::u16string text = entry.text;
    if (toAscii) convertToAscii(text);
    auto message = std::make_unique<SMSMessage>(u"", entry.number, std::move(text));
    if (report) message->flags |= messageFlags::kReport;
    messages.push_back(std::move(message));
  }
  return messages;
}

}  // namespace parlane
