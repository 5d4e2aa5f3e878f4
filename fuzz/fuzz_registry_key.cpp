// Feeds arbitrary bytes to the registry key file parser. Whatever values it reads, and the lines
// it could not read, must be written and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/RegistryKeyFile.h"

namespace {

std::vector<std::string> textsOf(const std::vector<parlane::UnreadableKeyLine>& lines) {
  std::vector<std::string> texts;
  for (const auto& line : lines) texts.push_back(line.text);
  return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const parlane::KeyFileContents contents = parlane::RegistryKeyFile::parse(bytes);
  const auto text = parlane::RegistryKeyFile::format(contents.values, contents.unreadable);
  if (!text) std::abort();
  const parlane::KeyFileContents again = parlane::RegistryKeyFile::parse(*text);
  if (again.values != contents.values ||
      textsOf(again.unreadable) != textsOf(contents.unreadable)) {
    std::abort();
  }
  return 0;
}
