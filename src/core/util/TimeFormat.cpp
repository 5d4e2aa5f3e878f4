#include "core/util/TimeFormat.h"

#include <cstdio>

#include "core/util/Utf.h"

namespace parlane {

std::u16string formatDisplayTime(std::time_t when) {
  std::tm local{};
  if (::localtime_r(&when, &local) == nullptr) return {};
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, "%02d-%02d-%02d %02d:%02d:%02d", local.tm_mday,
                              local.tm_mon + 1, ((local.tm_year + 1900) % 100 + 100) % 100,
                              local.tm_hour, local.tm_min, local.tm_sec);
  if (n <= 0) return {};
  return fromAscii(std::string_view(buffer, static_cast<size_t>(n)));
}

}  // namespace parlane
