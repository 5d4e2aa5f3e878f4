#include "transport/PortPath.h"

#include "core/util/Utf.h"

namespace parlane {

std::string portPath(std::u16string_view name, bool usePrefix, std::u16string_view prefix) {
  const std::string narrow = toUtf8(name);
  if (!narrow.empty() && narrow.front() == '/') return narrow;
  return (usePrefix ? toUtf8(prefix) : std::string("/dev/")) + narrow;
}

}  // namespace parlane
