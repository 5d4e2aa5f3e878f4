#include "engine/PortProbe.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "transport/TtyPort.h"

namespace parlane {

namespace {

// Waits for `events` on `fd`; false on time-out, hang-up or error.
bool waitFor(int fd, short events, int timeoutMs) {
  pollfd entry{fd, events, 0};
  for (;;) {
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0 && (entry.revents & events) != 0;
  }
}

bool cancelled(const std::atomic<bool>* cancel) { return cancel != nullptr && cancel->load(); }

}  // namespace

bool hasOkLine(std::string_view reply) {
  std::size_t start = 0;
  while (start <= reply.size()) {
    std::size_t end = reply.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = reply.size();
    std::string_view line = reply.substr(start, end - start);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    if (line == "OK") return true;
    start = end + 1;
  }
  return false;
}

bool PortProbe::canOpen(const std::string& path) {
  int fd = -1;
  if (tty::openExclusive(path, &fd) != 0) return false;
  tty::release(fd);
  return true;
}

ProbeReply PortProbe::exchange(int fd, std::string_view command) const {
  ProbeReply reply;
  ssize_t written = ::write(fd, command.data(), command.size());
  if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
      waitFor(fd, POLLOUT, readTimeoutMs_)) {
    written = ::write(fd, command.data(), command.size());
  }
  if (written != static_cast<ssize_t>(command.size())) return reply;
  reply.wrote = true;
  char buffer[kMaxReplyBytes];
  while (reply.bytes.size() < kMaxReplyBytes && waitFor(fd, POLLIN, readTimeoutMs_)) {
    const ssize_t got = ::read(fd, buffer, kMaxReplyBytes - reply.bytes.size());
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (got <= 0) break;
    reply.bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return reply;
}

bool PortProbe::probe(const std::string& path, const ModemPortInfo& info,
                      std::string_view initCommand, const std::atomic<bool>* cancel) const {
  int fd = -1;
  if (tty::openExclusive(path, &fd) != 0) return false;
  bool ok = true;
  if (info.hasLineSettings == 1) {
    ok = tty::configureLine(fd, info.baudRate, static_cast<std::uint8_t>(info.parity),
                            static_cast<std::uint8_t>(info.byteSize),
                            static_cast<std::uint8_t>(info.stopBits),
                            static_cast<std::uint8_t>(info.parityCheck)) == 0;
  }
  if (ok) {
    const ProbeReply first = exchange(fd, std::string(initCommand) + "\r\n");
    ok = first.wrote && !first.bytes.empty() && first.bytes.find("ERROR") == std::string::npos;
  }
  if (ok && !cancelled(cancel)) {
    const ProbeReply second = exchange(fd, "AT+CSMS=?\r\n");
    ok = second.wrote && second.bytes.find("ERROR") == std::string::npos && hasOkLine(second.bytes);
  } else {
    ok = false;
  }
  tty::purge(fd);
  tty::release(fd);
  return ok;
}

}  // namespace parlane
