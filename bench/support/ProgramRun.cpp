#include "support/ProgramRun.h"

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/InitializationReplies.h"

namespace parlane::bench {

int countFromEnvironment(const char* name, int fallback, int least) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::max(least, std::atoi(value)) : fallback;
}

CountingModem::CountingModem(std::chrono::milliseconds acceptPause) {
  modem_.setEcho(true);
  modem_.onCommand([this, acceptPause](const std::string& command, std::string& reply) {
    if (command.rfind("AT+CMGS=", 0) == 0) {
      reply = "\r\n> ";
      std::lock_guard guard(mutex_);
      if (firstSubmit_ == SteadyClock::time_point{}) firstSubmit_ = SteadyClock::now();
      return true;
    }
    if (command.empty() || command.rfind("AT", 0) == 0) return false;
    if (acceptPause.count() > 0) std::this_thread::sleep_for(acceptPause);
    reply = "\r\n+CMGS: " + std::to_string(++reference_ % 256) + "\r\n\r\nOK\r\n";
    std::lock_guard guard(mutex_);
    lastAccepted_ = SteadyClock::now();
    accepted_.fetch_add(1);
    return true;
  });
  test::answerInitialization(modem_);
  modem_.onPrefix("", "\r\nOK\r\n");
}

std::pair<SteadyClock::time_point, SteadyClock::time_point> CountingModem::span() {
  std::lock_guard guard(mutex_);
  return {firstSubmit_, lastAccepted_};
}

ProgramRun::ProgramRun(std::chrono::milliseconds stopLimit)
    : root_(folder_.path()), stopLimit_(stopLimit) {
  std::filesystem::create_directories(root_ + "/work");
}

ProgramRun::~ProgramRun() {
  if (process_) process_->stop(SIGTERM, stopLimit_);
}

std::string ProgramRun::writeConfiguration(const std::map<std::string, std::string>& values) const {
  std::ifstream in(std::string(PARLANE_SOURCE_DIR) + "/data/valtorin.cfg");
  std::string text;
  for (std::string line; std::getline(in, line);) {
    const auto equals = line.find('=');
    if (!line.empty() && line[0] != '#' && equals != std::string::npos) {
      const auto found = values.find(line.substr(0, equals));
      if (found != values.end()) line = found->first + "=" + found->second;
    }
    text += line + "\n";
  }
  std::ofstream(root_ + "/work/valtorin.cfg") << text;
  return text;
}

void ProgramRun::launch(const std::string& program, const std::vector<std::string>& arguments) {
  test::ProcessLaunch launch;
  launch.program = program;
  launch.arguments = arguments;
  launch.directory = root_ + "/work";
  launch.environment = {
      {"HOME", root_}, {"XDG_CONFIG_HOME", root_ + "/config"}, {"XDG_RUNTIME_DIR", root_}};
  launch.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY", "APPDATA", "DBUS_SESSION_BUS_ADDRESS"};
  process_ = std::make_unique<test::ChildProcess>(launch);
}

}  // namespace parlane::bench
