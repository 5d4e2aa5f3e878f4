#pragma once

namespace parlane {

// Names the calling thread ("serial", "sender", ...), so that `top -H`, a debugger and
// /proc/<pid>/task/<tid>/comm tell the gateway's threads apart; the log's thread number is the
// same thread id. Names longer than 15 bytes are cut.
void nameCurrentThread(const char* name);

}  // namespace parlane
