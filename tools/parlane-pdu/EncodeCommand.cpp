#include "EncodeCommand.h"

#include <charconv>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <string_view>

#include "CodecSettings.h"
#include "core/util/Utf.h"
#include "gsm/HexOctets.h"
#include "gsm/NationalLanguageList.h"
#include "gsm/NationalTables.h"
#include "gsm/PduEncoder.h"
#include "message/MessageFlags.h"
#include "message/PushMessage.h"
#include "message/SMSMessage.h"
#include "message/TonAutoRule.h"

namespace parlane {

namespace {

struct EncodeOptions {
  std::optional<std::string> to;
  std::string text;
  std::optional<int> ton;
  bool flash = false;
  bool report = false;
  long long validity = GenericMessage::kDefaultValidity;
  std::optional<std::string> pushUrl;
  // --languages: the national language ids allowed, in place of "sms.national_languages".
  std::optional<std::vector<int>> languages;
  // --tables: say first which alphabet and tables the text goes out with.
  bool tables = false;
};

std::optional<long long> parseWhole(std::string_view text, long long low, long long high) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

// Fills `options`; false (with the reason on `errors`) for anything it does not understand.
bool parseOptions(const std::vector<std::string>& arguments, EncodeOptions& options,
                  std::ostream& errors) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    const bool takesValue = name == "--to" || name == "--text" || name == "--ton" ||
                            name == "--validity" || name == "--push" || name == "--languages";
    if (takesValue && i + 1 >= arguments.size()) {
      errors << "parlane-pdu: " << name << " needs a value\n";
      return false;
    }
    if (name == "--to") {
      options.to = arguments[++i];
    } else if (name == "--text") {
      options.text = arguments[++i];
    } else if (name == "--ton") {
      const auto ton = parseWhole(arguments[++i], 0, 4);
      if (!ton) {
        errors << "parlane-pdu: --ton takes 0 to 4\n";
        return false;
      }
      options.ton = static_cast<int>(*ton);
    } else if (name == "--validity") {
      const auto seconds = parseWhole(arguments[++i], 0, std::numeric_limits<std::int32_t>::max());
      if (!seconds) {
        errors << "parlane-pdu: --validity takes a number of seconds\n";
        return false;
      }
      options.validity = *seconds;
    } else if (name == "--push") {
      options.pushUrl = arguments[++i];
    } else if (name == "--languages") {
      std::vector<std::u16string> rejected;
      options.languages = parseNationalLanguages(fromUtf8(arguments[++i]), &rejected);
      if (!rejected.empty()) {
        errors << "parlane-pdu: --languages takes language ids from 0 to 13, not \""
               << toUtf8(rejected.front()) << "\"\n";
        return false;
      }
    } else if (name == "--tables") {
      options.tables = true;
    } else if (name == "--flash") {
      options.flash = true;
    } else if (name == "--report") {
      options.report = true;
    } else {
      errors << "parlane-pdu: unknown option for encode: " << name << '\n';
      return false;
    }
  }
  if (!options.to) {
    errors << "parlane-pdu: encode needs --to\n";
    return false;
  }
  return true;
}

std::unique_ptr<SMSMessage> buildMessage(const EncodeOptions& options) {
  const std::u16string to = fromUtf8(*options.to);
  const std::u16string text = fromUtf8(options.text);
  std::unique_ptr<SMSMessage> message;
  if (options.pushUrl) {
    message = std::make_unique<PushMessage>(u"", to, text, fromUtf8(*options.pushUrl));
  } else {
    message = std::make_unique<SMSMessage>(u"", to, text);
  }
  message->dstton = options.ton ? *options.ton : resolveAutoTon(to);
  if (options.flash) message->flags |= messageFlags::kFlash;
  if (options.report) message->flags |= messageFlags::kReport;
  // Done in 64 bits: a validity near the limit must not wrap the expiry into the past.
  const long long expiry = static_cast<long long>(message->created) + options.validity;
  message->expiry = static_cast<MessageTime>(
      std::min<long long>(expiry, std::numeric_limits<MessageTime>::max()));
  return message;
}

std::string tableName(int language) {
  return std::to_string(language) + " " + std::string(nationalLanguageName(language));
}

// "tables: locking shift 1 Turkish, single shift 0 Default", or "tables: none, UCS2".
std::string tablesLine(const PduEncoder::TextPlan& plan) {
  if (plan.coding != SmsCoding::Gsm7) return "tables: none, UCS2\n";
  return "tables: locking shift " + tableName(plan.languages.locking) + ", single shift " +
         tableName(plan.languages.shift) + "\n";
}

}  // namespace

int runEncode(const std::vector<std::string>& arguments, std::ostream& output, std::ostream& errors,
              const SettingsStore& settings) {
  EncodeOptions options;
  if (!parseOptions(arguments, options, errors)) return 2;
  TonAutoRule::load(settings);
  const auto message = buildMessage(options);
  PduEncoderOptions encoderOptions = encoderOptionsFrom(settings);
  if (options.languages) encoderOptions.nationalLanguages = *options.languages;
  const PduEncoder encoder(std::move(encoderOptions));
  const std::size_t smscLength = encoder.smscFieldLength();
  std::string refusal;
  const std::vector<Octets> units = encoder.encodeOutgoing(*message, &refusal);
  if (units.empty()) {
    errors << "parlane-pdu: can't encode: " << refusal << '\n';
    return 1;
  }
  if (options.tables && !options.pushUrl) output << tablesLine(encoder.planText(message->content));
  for (const auto& unit : units) {
    output << unit.size() - smscLength << ' ' << octetsToHex(unit) << '\n';
  }
  output.flush();
  return 0;
}

}  // namespace parlane
