#include "service/HttpJsonSend.h"

#include <nlohmann/json.hpp>

#include "core/util/ScheduleTime.h"
#include "core/util/Utf.h"
#include "message/MessageFlags.h"
#include "message/SMSMessage.h"
#include "service/SpoolFile.h"

namespace parlane {

namespace {

JsonSendMapping refuse(std::string error) {
  JsonSendMapping mapping;
  mapping.error = std::move(error);
  return mapping;
}

bool has(const nlohmann::json& object, const char* name) {
  return object.find(name) != object.end();
}

}  // namespace

JsonSendMapping mapJsonSend(std::string_view body, std::size_t maxRecipients, const Clock& clock) {
  // Invalid UTF-8 is invalid JSON here.
  const nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return refuse("the body is no JSON object");
  for (const auto& [name, value] : json.items()) {
    if (name != "to" && name != "text" && name != "flash" && name != "report" &&
        name != "validity" && name != "sendAfter" && name != "expires") {
      return refuse("unknown field: " + name);
    }
  }
  SpoolMessage message;
  std::vector<std::string> numbers;
  if (has(json, "to") && json["to"].is_string()) {
    numbers.push_back(json["to"].get<std::string>());
  } else if (has(json, "to") && json["to"].is_array()) {
    for (const nlohmann::json& number : json["to"]) {
      if (!number.is_string()) return refuse("to: a list of numbers (strings) expected");
      numbers.push_back(number.get<std::string>());
    }
  } else if (has(json, "to")) {
    return refuse("to: a list of numbers expected");
  }
  if (numbers.empty()) return refuse("missing receiver number");
  if (numbers.size() > maxRecipients) {
    return refuse("too many receivers (" + std::to_string(numbers.size()) + ", at most " +
                  std::to_string(maxRecipients) + ")");
  }
  if (!has(json, "text") || !json["text"].is_string()) return refuse("text: a string expected");
  message.text = json["text"].get<std::string>();
  bool report = false;
  for (const char* name : {"flash", "report"}) {
    if (!has(json, name)) continue;
    if (!json[name].is_boolean()) return refuse(std::string(name) + ": true or false expected");
    (std::string_view(name) == "flash" ? message.flash : report) = json[name].get<bool>();
  }
  if (has(json, "validity")) {
    const nlohmann::json& validity = json["validity"];
    if (!validity.is_number_unsigned() ||
        validity.get<std::uint64_t>() > static_cast<std::uint64_t>(kMaxSpoolValidity / 60)) {
      return refuse("validity: minutes expected, at most " +
                    std::to_string(kMaxSpoolValidity / 60));
    }
    message.validity = static_cast<std::int32_t>(validity.get<std::uint64_t>() * 60);
  }
  for (const char* name : {"sendAfter", "expires"}) {
    if (!has(json, name)) continue;
    if (!json[name].is_string()) return refuse(std::string(name) + ": an ISO 8601 time expected");
    const std::string text = json[name].get<std::string>();
    const ScheduleTimeParse time = parseScheduleTime(text, clock.wallSeconds());
    if (!time.seconds) return refuse(std::string(name) + ": " + time.error);
    if (std::string_view(name) == "expires" && *time.seconds <= clock.wallSeconds()) {
      return refuse("expires: " + text + " is past already");
    }
    (std::string_view(name) == "sendAfter" ? message.sendAfter : message.expires) = time.seconds;
  }
  const std::string refusals = numberRefusals(message, numbers);
  if (!refusals.empty()) return refuse(refusals);

  JsonSendMapping mapping;
  const std::u16string content = fromUtf8(message.text);
  for (const std::string& number : numbers) {
    auto sms = std::make_unique<SMSMessage>(u"", fromUtf8(number), content, -1, clock);
    if (message.flash) sms->flags |= messageFlags::kFlash;
    if (report) sms->flags |= messageFlags::kReport;
    if (message.validity > 0) sms->expiry = sms->created + message.validity;
    if (message.sendAfter) sms->notBefore = static_cast<MessageTime>(*message.sendAfter);
    if (message.expires) sms->expires = static_cast<MessageTime>(*message.expires);
    mapping.messages.push_back(std::move(sms));
  }
  return mapping;
}

}  // namespace parlane
