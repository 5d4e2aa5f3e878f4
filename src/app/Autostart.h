#pragma once

#include <string>

namespace parlane {

// The "valtorin" autostart entry as an XDG autostart file. The system folder stands for the
// machine-wide Run key, the user's folder for the per-user one.
class Autostart {
 public:
  // /etc/xdg/autostart and $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).
  Autostart();
  Autostart(std::string systemFolder, std::string userFolder);

  // True when either folder holds a file named "valtorin.desktop", ignoring case.
  bool query() const;
  // Writes the entry into the system folder, or into the user's when that is refused.
  bool add(const std::string& commandLine) const;
  // Deletes the entry from both folders.
  void remove() const;
  // Adds or removes so that the entry exists exactly when `wanted`.
  void set(bool wanted, const std::string& commandLine) const;

  static std::string desktopEntry(const std::string& commandLine);

 private:
  std::string findEntry(const std::string& folder) const;

  std::string systemFolder_;
  std::string userFolder_;
};

}  // namespace parlane
