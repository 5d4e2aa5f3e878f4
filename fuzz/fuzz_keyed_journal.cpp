// Reads arbitrary bytes as a keyed journal (the waiting callbacks, the report URLs), as a start
// does with whatever a crash or another program left in the file. No crash; the entries it gives
// have keys that are not empty and appear once, and written back they read the same.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "service/KeyedJournal.h"

namespace {

constexpr std::string_view kHeader = "parlane callbacks 1";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace parlane;
  const std::string text =
      std::string(kHeader) + "\n" + std::string(reinterpret_cast<const char*>(data), size);
  std::size_t skipped = 0;
  const std::vector<JournalEntry> entries = parseKeyedJournal(text, kHeader, skipped);
  std::set<std::string> keys;
  std::string again = std::string(kHeader) + "\n";
  for (const JournalEntry& entry : entries) {
    check(!entry.key.empty());
    check(keys.insert(entry.key).second);
    again += journalPutLine(entry);
  }
  std::size_t skippedAgain = 0;
  check(parseKeyedJournal(again, kHeader, skippedAgain) == entries);
  check(skippedAgain == 0);
  return 0;
}
