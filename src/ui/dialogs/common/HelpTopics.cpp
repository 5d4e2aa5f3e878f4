#include "ui/dialogs/common/HelpTopics.h"

#include <sys/stat.h>

#include <utility>

namespace parlane {

namespace {

struct Topic {
  int context;
  const char* page;
};

constexpr Topic kTopics[] = {
    {helpContext::kSendSms, "send-sms.html"},
    {helpContext::kWizardIntro, "port-wizard.html"},
    {helpContext::kWizardSelect, "port-wizard.html"},
    {helpContext::kControlPanel, "control-panel.html"},
    {helpContext::kPanelSms, "control-panel.html"},
    {helpContext::kPanelApplication, "control-panel.html"},
    {helpContext::kPanelProperties, "control-panel.html"},
    {helpContext::kPanelMemory, "control-panel.html"},
    {helpContext::kPanelFolders, "control-panel.html"},
};

bool isFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string helpTarget(int context) {
  for (const Topic& topic : kTopics) {
    if (topic.context == context) return std::string(topic.page) + "#" + std::to_string(context);
  }
  return "index.html";
}

const std::vector<int>& helpContexts() {
  static const std::vector<int> contexts = [] {
    std::vector<int> all;
    for (const Topic& topic : kTopics) all.push_back(topic.context);
    return all;
  }();
  return contexts;
}

std::string findHelpFolder(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    if (!folder.empty() && isFile(folder + "/index.html")) return folder;
  }
  return {};
}

}  // namespace parlane
