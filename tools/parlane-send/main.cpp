// parlane-send: queues a short message for the gateway through its spool folder.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "core/settings/ConfigurationChain.h"
#include "core/settings/RegistryHive.h"
#include "core/settings/SettingsStore.h"
#include "core/settings/StartupPaths.h"
#include "core/util/Environment.h"
#include "core/util/Utf.h"
#include "parlane-send/DeliveryWait.h"
#include "parlane-send/SendOptions.h"
#include "parlane-send/SpoolDrop.h"
#include "service/RecipientCheck.h"
#include "service/SpoolWatcher.h"
#include "storage/InstanceFileName.h"

#ifndef PARLANE_DATA_DIR
#define PARLANE_DATA_DIR "/usr/local/share/parlane"
#endif

namespace {

using namespace parlane;
using namespace parlane::send;

constexpr int kBadInput = 2;

int refuse(const std::string& why) {
  std::cerr << "parlane-send: " << why << "\nTry 'parlane-send --help'.\n";
  return kBadInput;
}

std::string currentDirectory() {
  std::error_code ec;
  const auto path = std::filesystem::current_path(ec);
  return ec ? std::string(".") : path.string();
}

// A folder file of the gateway, named as its configuration says.
std::string folderFile(const SettingsStore& settings, const StartupPaths& paths, int instance,
                       const char* store) {
  std::u16string name = settings.getString(std::string(store) + ".filename");
  if (name.empty()) name = fromUtf8(std::string(store) + ".txt");
  name = instanceFileName(name, instance);
  const std::string file = toUtf8(name);
  return file.starts_with('/') ? file : paths.dataFolder + "/" + file;
}

}  // namespace

int main(int argc, char** argv) {
  const ParsedOptions parsed = parseSendOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.options) return refuse(parsed.error);
  SendOptions options = *parsed.options;
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }
  if (options.textFromInput) {
    options.message.text.assign(std::istreambuf_iterator<char>(std::cin),
                                std::istreambuf_iterator<char>());
    if (std::cin.bad()) return refuse("can't read the text from standard input");
    // `echo text | parlane-send NUMBER` means "text": the line end closes the input's last line.
    std::string& text = options.message.text;
    if (text.ends_with("\r\n")) {
      text.resize(text.size() - 2);
    } else if (text.ends_with('\n')) {
      text.pop_back();
    }
  }
  if (const auto problem = checkSpoolMessage(options.message)) return refuse(*problem);

  StartupOptions startup;
  startup.instance = options.instance;
  const StartupPaths paths = makeStartupPaths(startup, currentDirectory(), PARLANE_DATA_DIR);
  SettingsStore settings;
  loadConfiguration(settings, RegistryHive::currentUser(), paths);
  // The gateway would reject the whole file; saying so now spares the caller a --wait.
  if (!options.message.ussd) {
    std::vector<std::u16string> numbers;
    for (const std::string& number : options.message.to) numbers.push_back(fromUtf8(number));
    const std::vector<std::u16string> refused = notAllowedNumbers(numbers, settings);
    for (const std::u16string& number : refused)
      std::cerr << "parlane-send: " << toUtf8(number) << ": not allowed\n";
    if (!refused.empty()) return 1;
  }
  std::string spool = SpoolWatcher::folderFor(paths.dataFolder, options.instance);
  if (options.pool) {
    spool = expandEnvironment(toUtf8(settings.getString("spool.pool")));
    if (spool.empty()) {
      std::cerr << "parlane-send: no pool folder is set (\"spool.pool\" is empty)\n";
      return 1;
    }
  }
  std::string error;
  const std::optional<std::string> name = dropIntoSpool(spool, options.message, error);
  if (!name) {
    std::cerr << "parlane-send: " << error << "\n";
    return 1;
  }
  std::cout << *name << std::endl;
  if (!options.wait) return 0;

  // The folder files as the gateway's configuration names them.
  WaitTarget target;
  target.sentFile = folderFile(settings, paths, options.instance, "sent");
  target.failedFile = folderFile(settings, paths, options.instance, "failed");
  target.rejectedFolder = spool + "/" + SpoolWatcher::kRejectedFolder;
  target.name = *name;
  target.messages = options.message.ussd ? 1 : options.message.to.size();
  std::string reason;
  switch (waitForDelivery(target, options.waitSeconds, reason)) {
    case WaitResult::Sent:
      std::cout << "sent" << std::endl;
      return 0;
    case WaitResult::Failed:
      std::cerr << "parlane-send: " << reason << "\n";
      return 1;
    case WaitResult::Rejected:
      std::cerr << "parlane-send: the gateway rejected " << *name << ": " << reason << "\n";
      return 1;
    case WaitResult::TimedOut:
      std::cerr << "parlane-send: not sent after " << options.waitSeconds
                << " s; the message stays queued\n";
      return 3;
  }
  return 1;
}
