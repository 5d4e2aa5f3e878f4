#include "ui/dialogs/send/SendHistory.h"

#include <algorithm>

#include "core/settings/SettingsStore.h"
#include "ui/dialogs/send/RecipientText.h"

namespace parlane {

namespace {
constexpr const char* kPattern = "address.%d";
}  // namespace

std::vector<std::u16string> SendHistory::load(const SettingsStore& settings) {
  std::vector<std::u16string> history;
  for (int i = 0; history.size() < kMaxEntries; ++i) {
    std::u16string entry = settings.getStringByPattern(kPattern, i);
    if (entry.empty()) break;
    history.push_back(std::move(entry));
  }
  return history;
}

void SendHistory::remember(std::vector<std::u16string>& history, const std::u16string& entry) {
  if (entry.empty() || isGroupLabel(entry)) return;
  history.erase(std::remove(history.begin(), history.end(), entry), history.end());
  history.insert(history.begin(), entry);
  if (history.size() > kMaxEntries) history.resize(kMaxEntries);
}

void SendHistory::save(SettingsStore& settings, const std::vector<std::u16string>& history) {
  int written = 0;
  for (const std::u16string& entry : history) {
    if (entry.size() >= kMaxStoredLength) continue;
    settings.setStringByPattern(kPattern, written++, entry);
  }
  settings.setStringByPattern(kPattern, written, u"");
}

}  // namespace parlane
