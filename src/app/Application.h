#pragma once

namespace parlane {

// Start-up, message loop and shut-down of the gateway. Returns the process exit code (always 0).
int runApplication(int argc, char** argv);

}  // namespace parlane
