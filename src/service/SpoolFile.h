#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlane {

// A message file of the spool folder: UTF-8, a header of "Key: value" lines, a blank line, then
// the text. Keys (any letter case):
//   To: NUMBER          one or more lines, or several numbers separated by commas
//   Flash: yes|no       flash message
//   Report: yes|no      delivery report requested
//   Ton: 0..4           type of number (absent: the automatic rule)
//   Validity: SECONDS   validity period
//   Url: URL            a WAP Push pointing there, the text its title
//   Type: sms|push|ussd a USSD request carries its code as the text and needs no number
//   Send-After: TIME    not sent before then: seconds from now or an ISO 8601 date and time
//   Expires: TIME       given up ("expired") when not sent by then; same forms
// One line end at the end of the text belongs to the file, not to the text.
struct SpoolMessage {
  std::vector<std::string> to;
  bool flash = false;
  bool report = false;
  std::optional<std::int32_t> ton;
  std::int32_t validity = 0;  // 0: the default validity
  std::string url;
  bool ussd = false;
  std::string text;
  // Seconds since 1970, UTC.
  std::optional<std::int64_t> sendAfter;
  std::optional<std::int64_t> expires;

  bool operator==(const SpoolMessage&) const = default;
};

// Bigger files are refused unread: a long message of 255 parts is far below this.
inline constexpr std::size_t kMaxSpoolFileBytes = 256 * 1024;
// One file queues one message per recipient; a longer list belongs in several files.
inline constexpr std::size_t kMaxSpoolRecipients = 100;
// A GSM address holds at most 20 digits.
inline constexpr std::size_t kMaxNumberDigits = 20;
// Longer push addresses fail at the modem and in event programs' environments.
inline constexpr std::size_t kMaxPushUrlCharacters = 2048;
// The longest validity a message can carry (63 weeks).
inline constexpr std::int32_t kMaxSpoolValidity = 63 * 7 * 86400;

struct SpoolParse {
  std::optional<SpoolMessage> message;
  std::string error;  // why the file was refused, when it was
};

// Reads a spool file; any bytes at all give a message or a reason. Times given in seconds count
// from `now` (seconds since 1970).
SpoolParse parseSpoolFile(std::string_view bytes, std::int64_t now = std::time(nullptr));

// Why the message can't be sent as it is (no number, a number that is none, an empty text,
// invalid UTF-8, an expiry before its "send after" time, ...), or nothing when it is fine.
std::optional<std::string> checkSpoolMessage(const SpoolMessage& message);

// The reasons checkSpoolMessage gives for each of `numbers` on its own with the rest of
// `message`, joined by "; "; empty when every number passes.
std::string numberRefusals(const SpoolMessage& message, const std::vector<std::string>& numbers);

// The file text of a message that passes checkSpoolMessage; parseSpoolFile reads it back equal.
std::string formatSpoolFile(const SpoolMessage& message);

}  // namespace parlane
