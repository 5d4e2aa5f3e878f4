#pragma once

// The real program, run as a separate process in a throwaway profile, headless (Qt's offscreen
// platform, no tray): its configuration is the default one with a few keys changed, its folders
// and log are files the test reads while it runs.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "message/SMSMessage.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"
#include "support/ChildProcess.h"
#include "support/FolderOnDisk.h"
#include "support/TempDir.h"

namespace parlane::test {

// One record of a folder file, its fields in column order.
using FolderRecord = std::vector<std::string>;

class GatewayRun {
 public:
  GatewayRun() { ::mkdir(profile.file("work").c_str(), 0700); }
  GatewayRun(const GatewayRun&) = delete;
  GatewayRun& operator=(const GatewayRun&) = delete;

  // The default configuration with `changes`; the log, the status file and the folders live in
  // the profile. Written to the working directory, read at the next start.
  void configure(const std::map<std::string, std::string>& changes) {
    std::map<std::string, std::string> values = {
        {"logger.common", profile.file("gateway.log")},
        {"logger.level", "0"},
        {"status.file", profile.file("gateway.status")},
        {"status.time", "1"},
        {"start.bubble", "0"},
        {"start.welcome", "0"},
        {"start.connect", "1"},
        {"sender.delay", "0"},
        {"sender.timeout", "3000"},
        {"sender.timeout.connect", "3000"},
        {"modem.reconnect.time", "0"},
        {"receiver.polling_time", "0"},
        {"modem.emulation.reply_pause", "5"},
        {"modem.emulation.send_pause", "20"},
    };
    for (const auto& [key, value] : changes) values[key] = value;
    std::ifstream in(std::string(PARLANE_SOURCE_DIR) + "/data/valtorin.cfg");
    std::string text;
    for (std::string line; std::getline(in, line);) {
      const auto equals = line.find('=');
      if (line[0] != '#' && equals != std::string::npos) {
        const auto found = values.find(line.substr(0, equals));
        if (found != values.end()) {
          line = found->first + "=" + found->second;
          values.erase(found);
        }
      }
      text += line + "\n";
    }
    for (const auto& [key, value] : values) text += key + "=" + value + "\n";
    profile.write("work/valtorin.cfg", text);
  }

  // Where the folders are: %appdata%/Quortane SMS with %appdata% = $XDG_CONFIG_HOME.
  std::string dataFolder() const { return profile.file("config/Quortane SMS"); }

  // Puts short messages into the outbox before the gateway starts.
  void queueInOutbox(const std::vector<std::u16string>& texts,
                     const std::u16string& to = u"+4917012345") {
    SettingsStore settings;
    settings.loadFromFile(profile.file("work/valtorin.cfg"));
    ::mkdir(profile.file("config").c_str(), 0700);
    ::mkdir(dataFolder().c_str(), 0700);
    MessageStores stores(settings, dataFolder(), 0);
    ASSERT_TRUE(stores.open());
    for (const auto& text : texts) {
      SMSMessage message(u"", to, text);
      stores.outbox().put(outgoingRecord(message, StoreKind::Outbox, stores.outbox().newIdText()));
    }
    ASSERT_TRUE(stores.saveAll());
  }

  pid_t start() {
    ProcessLaunch launch;
    launch.program = PARLANE_EXECUTABLE;
    if (instance > 0) launch.arguments = {"-inst", std::to_string(instance)};
    launch.directory = profile.file("work");
    launch.environment = {{"HOME", profile.path()},
                          {"XDG_CONFIG_HOME", profile.file("config")},
                          {"XDG_RUNTIME_DIR", profile.path()}};
    launch.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY", "APPDATA", "DBUS_SESSION_BUS_ADDRESS"};
    auto child = std::make_unique<ChildProcess>(launch);
    const pid_t pid = child->pid();
    children_[pid] = std::move(child);
    return pid;
  }

  // The exit code, or nothing when the process still runs after `limit`.
  std::optional<int> waitExit(pid_t pid, std::chrono::milliseconds limit) {
    return children_.at(pid)->waitExit(limit);
  }
  bool running(pid_t pid) { return children_.at(pid)->running(); }
  // SIGTERM: the orderly shut-down. True when the program ended with code 0.
  bool stop(pid_t pid) {
    return children_.at(pid)->stop(SIGTERM, std::chrono::seconds(30)) == std::optional<int>(0);
  }
  void kill(pid_t pid) { children_.at(pid)->stop(SIGKILL, std::chrono::seconds(30)); }

  // Waits for `condition`, looking every 20 ms, at most `seconds`.
  static bool eventually(const std::function<bool()>& condition, int seconds = 30) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  std::string log() const { return readFile(profile.file(instanceFile("gateway", ".log"))); }
  std::string status() const { return readFile(profile.file("gateway.status")); }
  bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }
  bool waitForLog(const std::string& text, int seconds = 30) const {
    return eventually([&] { return logHas(text); }, seconds);
  }

  // The records of a folder ("inbox", "outbox", "sent", "failed") as they are on disk now, with
  // the folder's journal applied, as a start would load them.
  std::vector<FolderRecord> folder(const std::string& name) const {
    std::vector<FolderRecord> records;
    std::istringstream in(folderOnDisk(profile, "config/Quortane SMS/" + instanceFile(name, ".txt")));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      FolderRecord fields;
      std::size_t begin = 0;
      for (std::size_t tab; (tab = line.find('\t', begin)) != std::string::npos; begin = tab + 1) {
        fields.push_back(line.substr(begin, tab - begin));
      }
      fields.push_back(line.substr(begin));
      records.push_back(std::move(fields));
    }
    return records;
  }

  TempDir profile;
  // The instance started (the "inst" switch), whose log and folders are read; 0: none given.
  int instance = 0;

 private:
  // "<name><extension>", or "<name>.N<extension>" for instance N.
  std::string instanceFile(const std::string& name, const std::string& extension) const {
    return instance > 0 ? name + "." + std::to_string(instance) + extension : name + extension;
  }

  static std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // Killed, unless they have ended, before the profile goes.
  std::map<pid_t, std::unique_ptr<ChildProcess>> children_;
};

}  // namespace parlane::test
