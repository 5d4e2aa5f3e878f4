#include "core/log/LogText.h"

namespace parlane {

namespace {

void appendHex(std::string& out, unsigned value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out.push_back(kDigits[(value >> 4) & 0xF]);
  out.push_back(kDigits[value & 0xF]);
}

}  // namespace

std::string escapeControls(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte == '\r') {
      out += "\\r";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7f) {
      appendHex(out, byte);
    } else if (byte == 0xc2 && i + 1 < utf8.size() &&
               static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(utf8[i + 1]) <= 0x9f) {
      // U+0080..U+009F: the C1 controls (CSI, NEL) in their UTF-8 form.
      appendHex(out, static_cast<unsigned char>(utf8[++i]));
    } else {
      out.push_back(static_cast<char>(byte));
    }
  }
  return out;
}

}  // namespace parlane
