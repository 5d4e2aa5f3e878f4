#include "service/HttpAccess.h"

#include <algorithm>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"

namespace parlane {

bool sameSecret(std::string_view given, std::string_view expected) {
  // Every byte of the given text is compared, so the time tells nothing of the expected one.
  unsigned char difference = given.size() == expected.size() ? 0 : 1;
  for (std::size_t i = 0; i < given.size(); ++i) {
    const unsigned char other =
        expected.empty() ? 0 : static_cast<unsigned char>(expected[i % expected.size()]);
    difference |= static_cast<unsigned char>(static_cast<unsigned char>(given[i]) ^ other);
  }
  return difference == 0;
}

bool sendSmsUserAllowed(const SettingsStore& settings, std::string_view name,
                        std::string_view password) {
  bool allowed = false;
  for (int n = 0;; ++n) {
    const std::string user = toUtf8(settings.getStringByPattern("http.users.%d.name", n));
    if (user.empty()) break;
    const std::string secret = toUtf8(settings.getStringByPattern("http.users.%d.password", n));
    // Each user is compared whole, whichever matched.
    const int match = static_cast<int>(sameSecret(name, user)) +
                      static_cast<int>(sameSecret(password, secret)) +
                      static_cast<int>(!secret.empty());
    allowed = allowed || match == 3;
  }
  return allowed;
}

bool bearerAllowed(const SettingsStore& settings, std::string_view authorization) {
  const std::string token = toUtf8(settings.getString("http.token"));
  constexpr std::string_view kScheme = "Bearer ";
  if (token.empty() || !authorization.starts_with(kScheme)) return false;
  return sameSecret(authorization.substr(kScheme.size()), token);
}

bool FailedLogins::blocked(const std::string& client) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::int64_t now = clock_.monotonicMs();
  prune(now);
  const auto found = blockedUntil_.find(client);
  return found != blockedUntil_.end() && now < found->second;
}

void FailedLogins::failed(const std::string& client) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::int64_t now = clock_.monotonicMs();
  prune(now);
  std::vector<std::int64_t>& times = failures_[client];
  times.push_back(now);
  if (static_cast<int>(times.size()) >= kLimit) {
    blockedUntil_[client] = now + kWindowMs;
    times.clear();
  }
}

void FailedLogins::prune(std::int64_t now) {
  for (auto it = failures_.begin(); it != failures_.end();) {
    std::vector<std::int64_t>& times = it->second;
    times.erase(std::remove_if(times.begin(), times.end(),
                               [now](std::int64_t at) { return now - at >= kWindowMs; }),
                times.end());
    it = times.empty() ? failures_.erase(it) : std::next(it);
  }
  for (auto it = blockedUntil_.begin(); it != blockedUntil_.end();) {
    it = now >= it->second ? blockedUntil_.erase(it) : std::next(it);
  }
}

}  // namespace parlane
