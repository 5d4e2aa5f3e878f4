#pragma once

#include <cstdint>
#include <string>

namespace parlane {

// The termios side of the serial channel. Each call returns 0 or an errno value.
namespace tty {

// Opens `path` read-write, non-blocking, without becoming its controlling terminal, exclusively
// (TIOCEXCL plus flock; a port locked elsewhere gives EBUSY) and puts the line in raw mode at
// once, so that no line discipline touches the bytes. On success *fd holds the descriptor.
int openExclusive(const std::string& path, int* fd);
// Line settings as the configuration gives them (see AsyncSerialComm::configure); raises DTR
// and RTS (a pseudo-terminal, which has neither, is not an error).
int configureLine(int fd, std::uint32_t baudRate, std::uint8_t parity, std::uint8_t byteSize,
                  std::uint8_t stopBits, std::uint8_t parityCheck);
// VTIME from the read interval time-out (tenths of a second, at most 25.5 s).
int applyReadInterval(int fd, std::uint32_t readIntervalMs);
// Discards what is queued both ways.
void purge(int fd);
// Gives up the exclusive use (which the tty would otherwise keep while others hold it open) and
// closes the descriptor.
void release(int fd);

}  // namespace tty
}  // namespace parlane
