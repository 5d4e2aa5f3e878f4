#include "engine/TextModeCharset.h"

#include <vector>

#include "core/util/Utf.h"
#include "gsm/GsmAlphabet.h"

namespace parlane {

namespace {

std::u16string upper(std::u16string_view text) {
  std::u16string result(text);
  for (char16_t& c : result) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  }
  return result;
}

// The text after the first ":", or nothing when there is none.
std::u16string_view valuePart(std::u16string_view line) {
  const std::size_t colon = line.find(u':');
  return colon == std::u16string_view::npos ? std::u16string_view() : line.substr(colon + 1);
}

}  // namespace

bool needsUcs2(std::u16string_view text) {
  for (char16_t unit : text) {
    if (!unicodeToGsm(unit)) return true;
  }
  return false;
}

std::string ucs2Hex(std::u16string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(text.size() * 4);
  for (char16_t unit : text) {
    for (int shift = 12; shift >= 0; shift -= 4) hex.push_back(kDigits[(unit >> shift) & 0xF]);
  }
  return hex;
}

bool listsUcs2(std::u16string_view line) {
  return upper(valuePart(line)).find(u"\"UCS2\"") != std::u16string::npos;
}

std::string currentCharset(std::u16string_view line) {
  const std::u16string_view value = valuePart(line);
  const std::size_t open = value.find(u'"');
  if (open == std::u16string_view::npos) return {};
  const std::size_t close = value.find(u'"', open + 1);
  if (close == std::u16string_view::npos) return {};
  return toUtf8(value.substr(open + 1, close - open - 1));
}

std::string csmpCommand(std::u16string_view answer, int coding) {
  std::vector<std::string> values;
  std::string current;
  for (char16_t c : valuePart(answer)) {
    if (c >= u'0' && c <= u'9') {
      current.push_back(static_cast<char>(c));
    } else if (c == u',') {
      values.push_back(current);
      current.clear();
    } else if (c != u' ') {
      values.clear();  // not a plain list of numbers
      current.clear();
      break;
    }
  }
  values.push_back(current);
  const std::string ownCoding = values.size() >= 4 && !values[3].empty() ? values[3] : "0";
  if (values.size() < 3 || values[0].empty() || values[1].empty() || values[2].empty()) {
    values = {"17", "167", "0"};
  }
  return "AT+CSMP=" + values[0] + "," + values[1] + "," + values[2] + "," +
         (coding < 0 ? ownCoding : std::to_string(coding));
}

}  // namespace parlane
