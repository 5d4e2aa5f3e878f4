#pragma once

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
};

}  // namespace parlane
