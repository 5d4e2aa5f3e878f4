#include "service/RecipientCheck.h"

#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "gsm/Numbers.h"
#include "message/GenericMessage.h"
#include "message/MessageKind.h"

namespace parlane {

RecipientCheck checkRecipient(GenericMessage& message, const SettingsStore& settings) {
  RecipientCheck check;
  if (message.kind() != MessageKind::Sms && message.kind() != MessageKind::Push) return check;
  applyPrefixRewrite(message.to, settings.getString("ton_src_prefix"),
                     settings.getString("ton_dst_prefix"));
  std::u16string number = message.to;
  if (!normalizeNumber(number, message.dstton)) {
    check.accepted = false;
    return check;
  }
  if (warnNationalFormat(message.to, message.dstton, settings.getInt("ton_warning") == 1)) {
    check.warning = formatString(text::kNationalFormatWarning, {message.to});
  }
  return check;
}

}  // namespace parlane
