#include "engine/ModemErrors.h"

#include "core/util/Utf.h"
#include "transport/ModemErrorLine.h"
#include "transport/ReplyText.h"

namespace parlane {

std::optional<std::u16string> modemErrorText(ModemErrorFamily family, int code) {
  std::u16string text = ModemErrorLine::tableText(family == ModemErrorFamily::Cms, code);
  if (text.empty()) return std::nullopt;
  return text;
}

ModemError readModemError(std::u16string_view line) {
  ModemError error;
  error.raw = toUtf8(line);
  if (!startsWithNoCase(line, "+CME ") && !startsWithNoCase(line, "+CMS ")) {
    error.text = std::u16string(line);
    return error;
  }
  ModemErrorLine read = ModemErrorLine::read(line);
  error.code = read.code;
  error.text = std::move(read.text);
  return error;
}

}  // namespace parlane
