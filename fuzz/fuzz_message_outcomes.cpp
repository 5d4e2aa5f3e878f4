// Reads arbitrary bytes as the file of message outcomes, as a start does with whatever a crash or
// another program left there. No crash, and after a new outcome is remembered a second start
// finds it as it was.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "FuzzCheck.h"
#include "service/MessageOutcomes.h"

namespace {

// One folder for the whole run, removed when it ends.
std::string scratchFolder;

void removeScratch() {
  ::unlink((scratchFolder + "/outcomes").c_str());
  ::rmdir(scratchFolder.c_str());
}

std::string scratchFile() {
  if (scratchFolder.empty()) {
    char folder[] = "/tmp/fuzz-outcomes-XXXXXX";
    check(::mkdtemp(folder) != nullptr);
    scratchFolder = folder;
    std::atexit(removeScratch);
  }
  return scratchFolder + "/outcomes";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace parlane;
  const std::string path = scratchFile();
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << "parlane outcomes 1\n";
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  {
    // A small memory, so that inputs with many lines also drop and write the file anew.
    MessageOutcomes outcomes(8);
    outcomes.keepIn(path);
    outcomes.remember("fuzz-id", MessageOutcomes::Outcome{"reason\twith tab\n", -5});
  }
  MessageOutcomes again(8);
  again.keepIn(path);
  const auto found = again.find("fuzz-id");
  check(found.has_value());
  check(found->reason == "reason\twith tab\n" && found->time == -5);
  return 0;
}
