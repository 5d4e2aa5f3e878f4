#include "app/Autostart.h"

#include <strings.h>

#include <cstdlib>
#include <filesystem>

#include "core/util/FileIo.h"

namespace parlane {

namespace fs = std::filesystem;

namespace {

constexpr const char* kEntryFile = "valtorin.desktop";

std::string userAutostartFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && *config != '\0') return std::string(config) + "/autostart";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config/autostart";
}

// The Exec key escapes backslashes, quotes and a few characters with a meaning to the launcher.
std::string escapeExec(const std::string& commandLine) {
  std::string out;
  for (char c : commandLine) {
    if (c == '\n' || c == '\r') {
      out += ' ';
      continue;
    }
    if (c == '\\') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out;
}

}  // namespace

Autostart::Autostart() : Autostart("/etc/xdg/autostart", userAutostartFolder()) {}

Autostart::Autostart(std::string systemFolder, std::string userFolder)
    : systemFolder_(std::move(systemFolder)), userFolder_(std::move(userFolder)) {}

std::string Autostart::findEntry(const std::string& folder) const {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (::strcasecmp(name.c_str(), kEntryFile) == 0 && it->is_regular_file(ec)) {
      return it->path().string();
    }
  }
  return {};
}

bool Autostart::query() const {
  return !findEntry(systemFolder_).empty() || !findEntry(userFolder_).empty();
}

std::string Autostart::desktopEntry(const std::string& commandLine) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Parlane\n"
         "Comment=SMS gateway for a GSM modem\n"
         "Exec=" +
         escapeExec(commandLine) +
         "\n"
         "Icon=parlane\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n"
         // Start after the panel so that the tray icon has somewhere to go.
         "X-GNOME-Autostart-Delay=5\n"
         "X-KDE-autostart-after=panel\n"
         "X-LXQt-Need-Tray=true\n";
}

bool Autostart::add(const std::string& commandLine) const {
  const std::string entry = desktopEntry(commandLine);
  for (const std::string& folder : {systemFolder_, userFolder_}) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    // Autostart files are read by the session, not only by their owner.
    if (writeFileAtomically(folder + "/" + kEntryFile, entry, 0644)) return true;
  }
  return false;
}

void Autostart::remove() const {
  for (const std::string& folder : {systemFolder_, userFolder_}) {
    const std::string path = findEntry(folder);
    if (!path.empty()) {
      std::error_code ec;
      fs::remove(path, ec);
    }
  }
}

void Autostart::set(bool wanted, const std::string& commandLine) const {
  const bool exists = query();
  if (exists && !wanted) {
    remove();
  } else if (!exists && wanted) {
    add(commandLine);
  }
}

}  // namespace parlane
