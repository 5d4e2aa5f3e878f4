#include "core/settings/RegistryKeyFile.h"

#include <cstdint>
#include <cstdio>

#include "core/util/HexDigit.h"
#include "core/util/LineSplitter.h"
#include "core/util/Utf.h"

namespace parlane {

namespace {

constexpr std::string_view kHeader =
    "# Parlane registry key. One value per line: name<TAB>type<TAB>data; "
    "escapes \\\\ \\t \\r \\n \\uXXXX\n";

void appendUnitEscape(std::string& out, char16_t unit) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(unit));
  out += buffer;
}

}  // namespace

std::string RegistryKeyFile::escape(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    switch (c) {
      case u'\\':
        out += "\\\\";
        continue;
      case u'\t':
        out += "\\t";
        continue;
      case u'\r':
        out += "\\r";
        continue;
      case u'\n':
        out += "\\n";
        continue;
      default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
      appendUnitEscape(out, c);
    } else if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      out += toUtf8(text.substr(i, 2));
      ++i;
    } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
      // UTF-8 can't carry an unpaired surrogate; keep it exactly as an escape.
      appendUnitEscape(out, c);
    } else {
      out += toUtf8(text.substr(i, 1));
    }
  }
  return out;
}

std::optional<std::u16string> RegistryKeyFile::unescape(std::string_view text) {
  // Escapes are plain ASCII, so decoding the UTF-8 first leaves them intact.
  const std::u16string decoded = fromUtf8(text);
  std::u16string out;
  out.reserve(decoded.size());
  for (size_t i = 0; i < decoded.size(); ++i) {
    if (decoded[i] != u'\\') {
      out += decoded[i];
      continue;
    }
    if (++i >= decoded.size()) return std::nullopt;
    switch (decoded[i]) {
      case u'\\':
        out += u'\\';
        break;
      case u't':
        out += u'\t';
        break;
      case u'r':
        out += u'\r';
        break;
      case u'n':
        out += u'\n';
        break;
      case u'u': {
        if (i + 4 >= decoded.size()) return std::nullopt;
        unsigned unit = 0;
        for (size_t k = 1; k <= 4; ++k) {
          const char16_t h = decoded[i + k];
          const int digit = hexDigitValue(h);
          if (digit < 0) return std::nullopt;
          unit = unit * 16 + static_cast<unsigned>(digit);
        }
        out += static_cast<char16_t>(unit);
        i += 4;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::optional<std::string> RegistryKeyFile::format(
    const std::vector<RegistryValue>& values, const std::vector<UnreadableKeyLine>& unreadable) {
  std::string text(kHeader);
  auto kept = unreadable.begin();
  const auto keepLinesBefore = [&](std::size_t position) {
    for (; kept != unreadable.end() && kept->valuesBefore <= position; ++kept) {
      text += kept->text;
      text += '\n';
    }
  };
  for (std::size_t i = 0; i < values.size(); ++i) {
    const RegistryValue& value = values[i];
    if (value.type.empty()) return std::nullopt;
    keepLinesBefore(i);
    std::string name = escape(value.name);
    // A name starting with "#" would read back as a comment.
    if (!name.empty() && name[0] == '#') name.replace(0, 1, "\\u0023");
    text += name;
    text += '\t';
    text += escape(fromUtf8(value.type));
    text += '\t';
    text += escape(value.data);
    text += '\n';
  }
  keepLinesBefore(SIZE_MAX);
  return text;
}

namespace {

std::optional<RegistryValue> parseValueLine(std::string_view line) {
  const size_t firstTab = line.find('\t');
  const size_t secondTab =
      firstTab == std::string_view::npos ? firstTab : line.find('\t', firstTab + 1);
  if (secondTab == std::string_view::npos) return std::nullopt;
  if (line.find('\t', secondTab + 1) != std::string_view::npos) return std::nullopt;
  auto name = RegistryKeyFile::unescape(line.substr(0, firstTab));
  auto type = RegistryKeyFile::unescape(line.substr(firstTab + 1, secondTab - firstTab - 1));
  auto data = RegistryKeyFile::unescape(line.substr(secondTab + 1));
  if (!name || !type || !data || type->empty()) return std::nullopt;
  return RegistryValue{std::move(*name), toUtf8(*type), std::move(*data)};
}

}  // namespace

KeyFileContents RegistryKeyFile::parse(std::string_view text) {
  KeyFileContents contents;
  size_t lineNumber = 0;
  LineSplitter lines(text);
  std::string_view line;
  while (lines.next(line)) {
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    if (auto value = parseValueLine(line)) {
      contents.values.push_back(std::move(*value));
    } else {
      // Kept with its CR, if it had one, so that it is written back byte for byte.
      contents.unreadable.push_back(
          {lineNumber, contents.values.size(), std::string(lines.rawLine())});
    }
  }
  return contents;
}

}  // namespace parlane
