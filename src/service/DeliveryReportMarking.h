#pragma once

namespace parlane {

class GenericDatabase;
class StatusReport;

// What a report's TP-ST says of the message.
enum class ReportOutcome {
  kDelivered,     // 0x00 to 0x1F: the transaction completed
  kStillTrying,   // 0x20 to 0x3F: the service centre goes on trying; a final report follows
  kNotDelivered,  // anything else: the service centre gave up
};

ReportOutcome reportOutcome(int status);

// Marks the sent record a delivery report belongs to: the newest record (key order) whose
// "refid" is the report's reference, whose "to", normalised by its "dstton", is the report's
// recipient and which no report has marked yet. References repeat once the modem's counter
// wraps past 255, so an older record with the same reference is one reported on long ago. On a
// match the flags gain 16 (delivered) or 32, the folder is saved and the report takes the
// record's "uniqueid" and "custom". True on a match.
bool markDeliveryReport(GenericDatabase& sent, StatusReport& report, bool delivered);

}  // namespace parlane
