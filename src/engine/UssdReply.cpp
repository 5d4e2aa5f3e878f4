#include "engine/UssdReply.h"

#include <vector>

#include "core/settings/SettingsStore.h"
#include "engine/ReplyFields.h"
#include "gsm/UssdText.h"

namespace parlane {

namespace {

// The reply's scheme when it names none: the GSM default alphabet, language unspecified.
constexpr int kDefaultUssdScheme = 15;

}  // namespace

std::optional<std::u16string> decodeUssdReply(std::u16string_view line, int decodeMode) {
  const std::vector<std::u16string> fields = splitReplyFields(replyValue(line));
  if (fields.size() < 2 || fields[1].empty()) return std::nullopt;
  int scheme = kDefaultUssdScheme;
  if (fields.size() >= 3 && !fields[2].empty()) scheme = SettingsStore::parseInt(fields[2]);
  return DecodeUssdText(fields[1], scheme, decodeMode);
}

}  // namespace parlane
