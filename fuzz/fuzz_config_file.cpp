// Feeds arbitrary bytes to the configuration file parser and merges the settings back into the
// lines as a save would. Saving what was loaded must be a fixed point: the saved text reads back
// to the same settings and saves to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/settings/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  parlane::SettingsStore store;
  store.loadFromText(bytes);
  (void)store.getInt("sender.retries");
  const std::string saved = store.toFileText();

  parlane::SettingsStore reloaded;
  reloaded.loadFromText(saved);
  if (reloaded.snapshot() != store.snapshot()) std::abort();
  if (reloaded.toFileText() != saved) std::abort();
  return 0;
}
