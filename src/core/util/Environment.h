#pragma once

#include <string>
#include <string_view>

namespace parlane {

// Replaces each %NAME% with the environment variable NAME (looked up exactly, then in upper case);
// an unset variable is removed, "%%" stays as it is. %appdata% falls back to $XDG_CONFIG_HOME, then
// $HOME/.config (the home folder from the password database when HOME is unset too), when APPDATA
// is unset. With `systemProfile` (the `cfgservice` switch) %appdata%
// (exactly, lowercase) is the system account's folder, /var/lib.
std::u16string expandEnvironment(std::u16string_view text, bool systemProfile = false);
std::string expandEnvironment(std::string_view utf8Text, bool systemProfile = false);

}  // namespace parlane
