#pragma once

#include <thread>

namespace parlane {

// Names a thread ("serial", "sender", ...) as soon as it is made, so that `top -H`, a debugger
// and /proc/<pid>/task/<tid>/comm tell the gateway's threads apart; the log's thread number is
// the same thread's id. Names longer than 15 bytes are cut.
void nameThread(std::thread& thread, const char* name);

}  // namespace parlane
