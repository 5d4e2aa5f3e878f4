// Feeds arbitrary bytes to the registry key file parser. Whatever values it reads must be
// written and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/settings/RegistryKeyFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto values = parlane::RegistryKeyFile::parse(bytes);
  const auto text = parlane::RegistryKeyFile::format(values);
  if (!text || parlane::RegistryKeyFile::parse(*text) != values) std::abort();
  return 0;
}
