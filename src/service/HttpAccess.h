#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/util/Clock.h"

namespace parlane {

class SettingsStore;

// Equal texts, in a time that depends on their lengths only, never on where they differ.
bool sameSecret(std::string_view given, std::string_view expected);

// A sendsms user from "http.users.N.name" / "http.users.N.password" (N from 0 up to the first
// empty name); a user with an empty password never matches.
bool sendSmsUserAllowed(const SettingsStore& settings, std::string_view name,
                        std::string_view password);

// "Authorization: Bearer <token>" against "http.token"; an empty token lets nobody in.
bool bearerAllowed(const SettingsStore& settings, std::string_view authorization);

// Clients that failed to authenticate too often are refused for a while: the 10th failure within
// a minute blocks the client for a minute. Any thread.
class FailedLogins {
 public:
  static constexpr int kLimit = 10;
  static constexpr std::int64_t kWindowMs = 60'000;

  explicit FailedLogins(const Clock& clock) : clock_(clock) {}

  bool blocked(const std::string& client);
  void failed(const std::string& client);

 private:
  // Forgets what is older than the window, so the map stays as small as the attacks of a minute.
  void prune(std::int64_t now);

  const Clock& clock_;
  std::mutex mutex_;
  std::map<std::string, std::vector<std::int64_t>> failures_;
  std::map<std::string, std::int64_t> blockedUntil_;
};

}  // namespace parlane
