#include "ui/dialogs/send/InvalidRecipients.h"

#include <QStringList>

#include "core/log/Logger.h"
#include "core/util/StringTable.h"

namespace parlane {

namespace {
constexpr std::size_t kShown = 10;

QString listText(const std::vector<std::u16string>& invalid,
                 std::u16string (*lineOf)(const std::u16string&)) {
  QStringList lines;
  for (std::size_t i = 0; i < invalid.size(); ++i) {
    const std::u16string line = lineOf(invalid[i]);
    Logger::log(2, line);
    if (i < kShown) lines << QString::fromStdU16String(line);
  }
  if (invalid.size() > kShown) {
    lines << QStringLiteral("(%1 more)").arg(static_cast<qulonglong>(invalid.size() - kShown));
  }
  return lines.join('\n');
}

}  // namespace

QString invalidRecipientsText(const std::vector<std::u16string>& invalid) {
  return listText(invalid,
                  [](const std::u16string& number) { return formatString(40196, {number}); });
}

QString notAllowedRecipientsText(const std::vector<std::u16string>& refused) {
  return listText(refused, [](const std::u16string& number) {
    return formatText(u"%s: not allowed", {number});
  });
}

}  // namespace parlane
