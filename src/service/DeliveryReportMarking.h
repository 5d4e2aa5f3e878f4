#pragma once

namespace parlane {

class GenericDatabase;
class StatusReport;

// Marks the sent record a delivery report belongs to: the oldest record (key order) whose
// "refid" is the report's reference decides, and only when its "to", normalised by its
// "dstton", is the report's recipient. On a match the flags gain 16 (delivered) or 32, the
// folder is saved and the report takes the record's "uniqueid" and "custom". True on a match.
bool markDeliveryReport(GenericDatabase& sent, StatusReport& report, bool delivered);

}  // namespace parlane
