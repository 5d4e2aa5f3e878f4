#pragma once

namespace parlane {

// Start-up, message loop and shut-down of the gateway. Returns the process exit code: 0, or 1 when
// the instance lock can't be taken for another reason than a running copy.
int runApplication(int argc, char** argv);

}  // namespace parlane
