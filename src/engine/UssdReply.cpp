#include "engine/UssdReply.h"

#include <vector>

#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "engine/ReplyFields.h"
#include "gsm/UssdText.h"

namespace parlane {

namespace {

// The reply's scheme when it names none: the GSM default alphabet, language unspecified.
constexpr int kDefaultUssdScheme = 15;
// "+CUSD:" statuses (TS 27.007).
constexpr int kStatusEndedByNetwork = 2;
constexpr int kStatusNotSupported = 4;
constexpr int kStatusTimedOut = 5;
constexpr int kTitleReply = 40213;  // "Got reply to USSD command"
constexpr int kTitleError = 40209;  // "Error sending USSD!"

}  // namespace

std::optional<std::u16string> decodeUssdReply(std::u16string_view line, int decodeMode) {
  const std::vector<std::u16string> fields = splitReplyFields(replyValue(line));
  if (fields.size() < 2 || fields[1].empty()) return std::nullopt;
  int scheme = kDefaultUssdScheme;
  if (fields.size() >= 3 && !fields[2].empty()) scheme = SettingsStore::parseInt(fields[2]);
  return decodeUssdText(fields[1], scheme, decodeMode);
}

std::optional<UssdNotice> ussdReplyNotice(std::u16string_view line, int decodeMode) {
  const std::vector<std::u16string> fields = splitReplyFields(replyValue(line));
  const int status = fields.empty() ? -1 : SettingsStore::parseInt(fields[0]);
  std::optional<std::u16string> text = decodeUssdReply(line, decodeMode);
  // Taken for a success, these would leave the user waiting for a reply that never comes.
  if (status == kStatusNotSupported || status == kStatusTimedOut) {
    std::u16string notice = status == kStatusNotSupported
                                ? u"The network does not support this USSD request"
                                : u"The USSD request timed out in the network";
    if (text) notice += u":\n" + *text;
    return UssdNotice{loadString(kTitleError), notice};
  }
  if (text) return UssdNotice{loadString(kTitleReply), *text};
  if (status == kStatusEndedByNetwork) {
    return UssdNotice{loadString(kTitleReply), u"The network ended the USSD session"};
  }
  return std::nullopt;
}

}  // namespace parlane
