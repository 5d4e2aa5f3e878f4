#include "service/HttpUssdRequest.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace parlane {

UssdRequestMapping mapUssdRequest(std::string_view body) {
  UssdRequestMapping mapping;
  const nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    mapping.error = "the body is no JSON object";
    return mapping;
  }
  for (const auto& [name, value] : json.items()) {
    if (name != "code") {
      mapping.error = "unknown field: " + name;
      return mapping;
    }
  }
  const auto code = json.find("code");
  if (code == json.end() || !code->is_string() || code->get<std::string>().empty()) {
    mapping.error = "code: a USSD code expected";
    return mapping;
  }
  const std::string text = code->get<std::string>();
  if (text.size() > UssdRequestMapping::kMaxCodeLength ||
      !std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '*' || c == '#' || c == '+';
      })) {
    mapping.error = "code: digits, *, # and + only, at most " +
                    std::to_string(UssdRequestMapping::kMaxCodeLength);
    return mapping;
  }
  mapping.code = text;
  return mapping;
}

}  // namespace parlane
