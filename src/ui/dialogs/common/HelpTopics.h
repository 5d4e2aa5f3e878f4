#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace parlane {

// Help context numbers the windows open the help at.
namespace helpContext {
inline constexpr int kContents = 0;
inline constexpr int kSendSms = 104;
inline constexpr int kWizardIntro = 122;
inline constexpr int kWizardSelect = 123;
// The control panel's pages; its help button names the page that is showing.
inline constexpr int kControlPanel = 130;
inline constexpr int kPanelSms = 131;
inline constexpr int kPanelApplication = 132;
inline constexpr int kPanelProperties = 133;
inline constexpr int kPanelMemory = 134;
inline constexpr int kPanelFolders = 135;
}  // namespace helpContext

// The help page and anchor of a context number ("send-sms.html#104"); the contents page for a
// number without a topic.
std::string helpTarget(int context);

// Every context number with a topic.
const std::vector<int>& helpContexts();

// The first of `folders` that holds the help (its index.html), or empty.
std::string findHelpFolder(const std::vector<std::string>& folders);

}  // namespace parlane
