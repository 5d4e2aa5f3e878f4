#include "parlane-send/DeliveryWait.h"

#include <chrono>
#include <thread>

#include "core/util/FileIo.h"
#include "storage/FolderSchema.h"

namespace parlane::send {

namespace {

// Records of a folder file whose "custom" field (column `column`) is `name`.
std::size_t countRecords(const std::string& file, std::size_t column, const std::string& name) {
  const std::optional<std::string> text = readWholeFile(file);
  if (!text) return 0;
  std::size_t count = 0;
  std::size_t begin = 0;
  while (begin < text->size()) {
    std::size_t end = text->find('\n', begin);
    if (end == std::string::npos) end = text->size();
    std::string_view line(text->data() + begin, end - begin);
    if (line.ends_with('\r')) line.remove_suffix(1);
    std::size_t field = 0;
    std::size_t at = 0;
    while (field < column && at != std::string_view::npos) {
      at = line.find('\t', at);
      if (at != std::string_view::npos) ++at;
      ++field;
    }
    if (at != std::string_view::npos) {
      const std::string_view value = line.substr(at, line.find('\t', at) - at);
      if (value == name) ++count;
    }
    begin = end + 1;
  }
  return count;
}

std::size_t customColumn(StoreKind kind) {
  return static_cast<std::size_t>(columnIndex(kind, u"custom"));
}

}  // namespace

WaitResult waitForDelivery(const WaitTarget& target, int seconds, std::string& reason) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    if (const auto error = readWholeFile(target.rejectedFolder + "/" + target.name + ".error")) {
      reason = *error;
      while (!reason.empty() && reason.back() == '\n') reason.pop_back();
      return WaitResult::Rejected;
    }
    const std::size_t sent =
        countRecords(target.sentFile, customColumn(StoreKind::Sent), target.name);
    const std::size_t failed =
        countRecords(target.failedFile, customColumn(StoreKind::Failed), target.name);
    if (sent + failed >= target.messages) {
      if (failed == 0) return WaitResult::Sent;
      reason =
          std::to_string(failed) + " of " + std::to_string(target.messages) + " message(s) failed";
      return WaitResult::Failed;
    }
    if (std::chrono::steady_clock::now() >= deadline) return WaitResult::TimedOut;
    // A command-line client looking at files now and then; the gateway itself never polls.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace parlane::send
