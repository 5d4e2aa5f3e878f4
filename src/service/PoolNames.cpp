#include "service/PoolNames.h"

#include <atomic>
#include <charconv>
#include <cstdio>
#include <random>

#include "core/util/Utf.h"

namespace parlane::pool {

namespace {

// A name must stay below the file system's 255 bytes once the prefixes are added.
constexpr std::size_t kLongestName = 200;

std::string token() {
  static std::atomic<unsigned> counter{std::random_device{}()};
  char text[16];
  std::snprintf(text, sizeof text, "%08x", counter.fetch_add(0x9e3779b9u));
  return text;
}

std::string shortened(std::string_view name) {
  if (name.size() <= kLongestName) return std::string(name);
  return std::string(name.substr(name.size() - kLongestName));
}

}  // namespace

std::string takenName(std::string_view name) {
  return std::string(kTakenPrefix) + token() + "." + shortened(name);
}

bool isTaken(std::string_view name) {
  if (!name.starts_with(kTakenPrefix)) return false;
  const std::size_t dot = name.find('.', kTakenPrefix.size());
  return dot != std::string_view::npos && dot > kTakenPrefix.size() && dot + 1 < name.size();
}

std::string originalName(std::string_view takenName) {
  if (!isTaken(takenName)) return std::string(takenName);
  return std::string(takenName.substr(takenName.find('.', kTakenPrefix.size()) + 1));
}

std::string returnName(int instance, std::u16string_view recordId, std::string_view name) {
  return std::string(kReturnPrefix) + std::to_string(instance) + "." + toUtf8(recordId) + "." +
         shortened(name);
}

std::optional<ReturnParts> parseReturnName(std::string_view fileName) {
  if (!fileName.starts_with(kReturnPrefix)) return std::nullopt;
  std::string_view rest = fileName.substr(kReturnPrefix.size());
  ReturnParts parts;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), parts.instance);
  if (error != std::errc() || end == rest.data() || end == rest.data() + rest.size() ||
      *end != '.') {
    return std::nullopt;
  }
  rest.remove_prefix(static_cast<std::size_t>(end - rest.data()) + 1);
  const std::size_t dot = rest.find('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 >= rest.size()) return std::nullopt;
  parts.recordId = fromUtf8(rest.substr(0, dot));
  parts.name = std::string(rest.substr(dot + 1));
  return parts;
}

}  // namespace parlane::pool
