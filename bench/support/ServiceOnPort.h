#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "core/settings/SettingsStore.h"
#include "service/Gateway.h"
#include "service/ServiceWindow.h"
#include "support/ScriptedModem.h"

namespace parlane::bench {

// Answers the initialization with OK, "AT+CMGS=" with a prompt and a body with a reference, the
// body after `acceptDelay`.
void answerAsAModem(test::ScriptedModem& modem,
                    std::chrono::milliseconds acceptDelay = std::chrono::milliseconds(0));

// Shows nothing; remembers whether the gateway is connected.
class QuietWindow : public ServiceWindow {
 public:
  void showConnectionState(ConnectionState state, std::u16string_view) override {
    connected_.store(state == ConnectionState::Connected);
  }
  void balloon(std::u16string_view, std::u16string_view) override {}
  void postCommand(int) override {}
  void writeStatusFile() override {}
  bool connected() const { return connected_.load(); }

 private:
  std::atomic<bool> connected_{false};
};

// The gateway's service layer on a modem's port, as start-up builds it, its folders in `folder`:
// no checks of the modem, no pause between sends, no spool, events or instance files.
class ServiceOnPort {
 public:
  // `adjust` changes the settings before the folders open.
  ServiceOnPort(const std::string& port, const std::string& folder,
                const std::function<void(SettingsStore&)>& adjust = {});
  ~ServiceOnPort();
  ServiceOnPort(const ServiceOnPort&) = delete;
  ServiceOnPort& operator=(const ServiceOnPort&) = delete;

  // Starts the threads and connects; returns once connected.
  void start();
  Gateway& gateway() { return gateway_; }
  std::size_t sent();

 private:
  SettingsStore settings_;
  QuietWindow window_;
  Gateway gateway_;
};

}  // namespace parlane::bench
