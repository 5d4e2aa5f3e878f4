#include "service/DeliveryReportMarking.h"

#include <string>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "gsm/Numbers.h"
#include "message/MessageFlags.h"
#include "message/StatusReport.h"
#include "storage/FolderSchema.h"
#include "storage/GenericDatabase.h"

namespace parlane {

namespace {

unsigned sentColumn(std::u16string_view name) {
  return static_cast<unsigned>(columnIndex(StoreKind::Sent, name));
}

}  // namespace

ReportOutcome reportOutcome(int status) {
  if (status >= 0 && status < 0x20) return ReportOutcome::kDelivered;
  if (status >= 0x20 && status < 0x40) return ReportOutcome::kStillTrying;
  return ReportOutcome::kNotDelivered;
}

bool markDeliveryReport(GenericDatabase& sent, StatusReport& report, bool delivered) {
  const std::u16string reference = fromAscii(std::to_string(report.refid));
  // The report's address may come with a "+" or blanks; compare the bare digits.
  std::u16string reported = report.source;
  normalizeNumber(reported, kTonUnknown);
  // References repeat every 256 messages: the newest unmarked record for the number is the one.
  const auto accept = [&reported](const DatabaseRecord& candidate) {
    if (candidate.size() < storeColumns(StoreKind::Sent).size()) return false;
    const int marked = SettingsStore::parseInt(candidate[sentColumn(u"flags")]) &
                       (messageFlags::kDelivered | messageFlags::kNotDelivered);
    if (marked != 0) return false;
    std::u16string recipient = candidate[sentColumn(u"to")];
    normalizeNumber(recipient, SettingsStore::parseInt(candidate[sentColumn(u"dstton")]));
    return recipient == reported;
  };
  DatabaseRecord record;
  if (!sent.findLastEqual(sentColumn(u"refid"), reference, accept, record)) return false;

  std::u16string& flagsField = record[sentColumn(u"flags")];
  const int flags = SettingsStore::parseInt(flagsField) |
                    (delivered ? messageFlags::kDelivered : messageFlags::kNotDelivered);
  flagsField = fromAscii(std::to_string(flags));
  sent.put(record);
  sent.save();

  report.uniqueid = SettingsStore::parseInt(record[sentColumn(u"uniqueid")]);
  report.custom = record[sentColumn(u"custom")];
  return true;
}

}  // namespace parlane
