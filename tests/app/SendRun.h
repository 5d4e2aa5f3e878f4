#pragma once

// parlane-send run as a separate process in the profile of a GatewayRun: the same working
// folder and environment, so that it finds the same data folder.

#include <string>
#include <vector>

#include "GatewayRun.h"
#include "support/ChildProcess.h"

namespace parlane::test {

using SendResult = ProcessResult;

inline SendResult runSend(const GatewayRun& run, const std::vector<std::string>& arguments,
                          const std::string& input = "") {
  ProcessLaunch launch;
  launch.program = PARLANE_SEND_EXECUTABLE;
  launch.arguments = arguments;
  launch.directory = run.profile.file("work");
  launch.environment = {{"HOME", run.profile.path()},
                        {"XDG_CONFIG_HOME", run.profile.file("config")}};
  launch.unsetEnvironment = {"APPDATA"};
  return runProcess(launch, input);
}

}  // namespace parlane::test
