#include "ui/mainframe/StatusLine.h"

#include "core/util/StringTable.h"

namespace parlane {

namespace {

// "disconnected", "ready", "configuring", "busy", "error".
std::u16string stateWord(ChannelStatus status) {
  const int value = static_cast<int>(status);
  return value >= 0 && value <= 4 ? loadString(40127 + value) : std::u16string();
}

}  // namespace

std::u16string statusLine(const StatusSnapshot& snapshot, const timespec& now) {
  std::tm local{};
  const std::time_t seconds = now.tv_sec;
  ::localtime_r(&seconds, &local);
  std::u16string line =
      formatText(u"updated: %02d-%02d-%04d %02d:%02d:%02d.%03d",
                 {local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<int>(now.tv_nsec / 1'000'000)});
  // The handle as eight lowercase hexadecimal digits: "%08x" is not one the formatter fills.
  char16_t handle[9] = {};
  for (int i = 0; i < 8; ++i) {
    handle[i] = u"0123456789abcdef"[(snapshot.windowHandle >> (28 - 4 * i)) & 0xF];
  }
  line += formatText(u"; hwnd: %s; pid: %d; instance: %d; port: %s",
                     {std::u16string(handle), snapshot.pid, snapshot.instance, snapshot.port});
  line += u"; state:" + stateWord(snapshot.status);
  line += formatText(u"; outbox:%d; errors:%d",
                     {static_cast<int>(snapshot.outboxCount), snapshot.errors});
  return line;
}

}  // namespace parlane
