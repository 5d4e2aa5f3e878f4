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
  ProcessSpec spec;
  spec.program = PARLANE_SEND_EXECUTABLE;
  spec.arguments = arguments;
  spec.directory = run.profile.file("work");
  spec.environment = {{"HOME", run.profile.path()},
                      {"XDG_CONFIG_HOME", run.profile.file("config")}};
  spec.unsetEnvironment = {"APPDATA"};
  return runProcess(spec, input);
}

}  // namespace parlane::test
