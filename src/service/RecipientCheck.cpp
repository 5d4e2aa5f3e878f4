#include "service/RecipientCheck.h"

#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "gsm/Numbers.h"
#include "message/GenericMessage.h"
#include "message/MessageKind.h"

namespace parlane {

RecipientLists RecipientLists::fromSettings(const SettingsStore& settings) {
  return {NumberPatterns::parse(settings.getString("numbers.allow")),
          NumberPatterns::parse(settings.getString("numbers.deny"))};
}

RecipientCheck checkRecipient(GenericMessage& message, const SettingsStore& settings,
                              const RecipientLists& lists) {
  RecipientCheck check;
  if (message.kind() != MessageKind::Sms && message.kind() != MessageKind::Push) return check;
  applyPrefixRewrite(message.to, settings.getString("ton_src_prefix"),
                     settings.getString("ton_dst_prefix"));
  std::u16string number = message.to;
  if (!normalizeNumber(number, message.dstton)) {
    check.accepted = false;
    return check;
  }
  // The number as it will be sent: after the rewrite, without blanks and trunk prefix.
  if (!numberAllowed(number, lists.allow, lists.deny)) {
    check.allowed = false;
    return check;
  }
  if (warnNationalFormat(message.to, message.dstton, settings.getInt("ton_warning") == 1)) {
    check.warning = formatString(text::kNationalFormatWarning, {message.to});
  }
  return check;
}

std::vector<std::u16string> notAllowedNumbers(const std::vector<std::u16string>& numbers,
                                              const SettingsStore& settings) {
  const RecipientLists lists = RecipientLists::fromSettings(settings);
  std::vector<std::u16string> refused;
  if (lists.allow.empty() && lists.deny.empty()) return refused;
  const std::u16string from = settings.getString("ton_src_prefix");
  const std::u16string to = settings.getString("ton_dst_prefix");
  for (const std::u16string& written : numbers) {
    std::u16string number = written;
    applyPrefixRewrite(number, from, to);
    if (!numberAllowed(number, lists.allow, lists.deny)) refused.push_back(written);
  }
  return refused;
}

}  // namespace parlane
