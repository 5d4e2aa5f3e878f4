#pragma once

#include <string>

namespace parlane {

// What the switches of the command line ask for.
struct StartupOptions {
  enum class Action {
    Run,         // start the gateway
    Exit,        // RegServer / UnregServer: leave at once
    Init,        // installer hook: write the configuration to the registry key, then leave
    ViewAuthor,  // show the authorship notice, then leave
  };
  Action action = Action::Run;
  int instance = 0;  // 0..9999
  bool noIcon = false;
  bool systemProfile = false;  // cfgservice
  // Set when a switch is unknown or its value is bad: the program says so and ends with code 2.
  std::string error;
};

}  // namespace parlane
