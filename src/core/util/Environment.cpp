#include "core/util/Environment.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include "core/util/Utf.h"

namespace parlane {

namespace {

// The system account's application-data folder.
constexpr std::string_view kSystemAppData = "/var/lib";

std::optional<std::string> variable(const std::string& name) {
  // No variable has '=' or NUL in its name; getenv would match a piece of another's value.
  if (name.find_first_of(std::string_view("=\0", 2)) != std::string::npos) return std::nullopt;
  const char* value = std::getenv(name.c_str());
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::string upperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && upperAscii(std::string(a)) == upperAscii(std::string(b));
}

// The user's home folder: $HOME, else the password database's entry (services and cron jobs may
// run without HOME; an empty answer would put the data folder at the root of the file system).
std::optional<std::string> homeFolder() {
  if (auto home = variable("HOME")) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return std::string(found->pw_dir);
  }
  return std::nullopt;
}

// Where desktop programs keep their settings when APPDATA isn't set.
std::optional<std::string> userConfigFolder() {
  // A relative XDG_CONFIG_HOME is invalid and must be ignored.
  if (auto xdg = variable("XDG_CONFIG_HOME"); xdg && xdg->front() == '/') return xdg;
  if (auto home = homeFolder()) return *home + "/.config";
  return std::nullopt;
}

// The value of one %NAME% reference (UTF-8), or nothing when it is removed. Values are taken
// whole, however long: cutting a path short would move files somewhere unexpected.
std::optional<std::string> lookUp(const std::string& name, bool systemProfile) {
  if (systemProfile && name == "appdata") return std::string(kSystemAppData);
  if (auto value = variable(name)) return value;
  if (auto value = variable(upperAscii(name))) return value;
  if (equalsIgnoringAsciiCase(name, "appdata")) return userConfigFolder();
  return std::nullopt;
}

std::string toNarrow(std::string_view text) { return std::string(text); }
std::string toNarrow(std::u16string_view text) { return toUtf8(text); }
void appendValue(std::string& out, const std::string& value) { out += value; }
void appendValue(std::u16string& out, const std::string& value) { out += fromUtf8(value); }

template <typename Char>
std::basic_string<Char> expand(std::basic_string_view<Char> text, bool systemProfile) {
  std::basic_string<Char> out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find(Char('%'), i);
    if (open == text.npos) break;
    const size_t close = text.find(Char('%'), open + 1);
    if (close == text.npos) break;  // an unterminated '%' stays as it is
    out.append(text.substr(i, open - i));
    if (close == open + 1) {
      out.append(text.substr(open, 2));  // "%%" is not a reference
    } else if (auto value =
                   lookUp(toNarrow(text.substr(open + 1, close - open - 1)), systemProfile)) {
      appendValue(out, *value);
    }
    i = close + 1;
  }
  out.append(text.substr(std::min(i, text.size())));
  return out;
}

}  // namespace

std::u16string expandEnvironment(std::u16string_view text, bool systemProfile) {
  return expand(text, systemProfile);
}

std::string expandEnvironment(std::string_view utf8Text, bool systemProfile) {
  return expand(utf8Text, systemProfile);
}

}  // namespace parlane
