#include "service/DeliveryReportMarking.h"

#include <string>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "gsm/Numbers.h"
#include "storage/FolderSchema.h"
#include "storage/GenericDatabase.h"
#include "transport/message/MessageFlags.h"
#include "transport/message/StatusReport.h"

namespace parlane {

namespace {

unsigned sentColumn(std::u16string_view name) {
  return static_cast<unsigned>(columnIndex(StoreKind::Sent, name));
}

}  // namespace

bool markDeliveryReport(GenericDatabase& sent, StatusReport& report, bool delivered) {
  DatabaseRecord record;
  const std::u16string reference = fromAscii(std::to_string(report.refid));
  if (!sent.FindFirst(sentColumn(u"refid"), reference, record)) return false;
  if (record.size() < storeColumns(StoreKind::Sent).size()) return false;

  std::u16string recipient = record[sentColumn(u"to")];
  NormalizeNumber(recipient, SettingsStore::parseInt(record[sentColumn(u"dstton")]));
  // The report's address may come with a "+" or blanks; compare the bare digits.
  std::u16string reported = report.source;
  NormalizeNumber(reported, kTonUnknown);
  if (recipient != reported) return false;

  std::u16string& flagsField = record[sentColumn(u"flags")];
  const int flags = SettingsStore::parseInt(flagsField) |
                    (delivered ? messageFlags::kDelivered : messageFlags::kNotDelivered);
  flagsField = fromAscii(std::to_string(flags));
  sent.Put(record);
  sent.Save();

  report.uniqueid = SettingsStore::parseInt(record[sentColumn(u"uniqueid")]);
  report.custom = record[sentColumn(u"custom")];
  return true;
}

}  // namespace parlane
