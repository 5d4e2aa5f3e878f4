#include <gtest/gtest.h>

#include <QDir>
#include <fstream>
#include <sstream>

#include "OffscreenApp.h"
#include "RecordingHost.h"
#include "support/TempDir.h"
#include "ui/dialogs/common/HelpTopics.h"
#include "ui/dialogs/common/HelpViewer.h"

namespace parlane {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// Every context a window opens the help at leads to a page that has its anchor.
TEST(Help, EveryContextHasItsPageAndAnchor) {
  const std::string folder = PARLANE_SOURCE_DIR "/data/help";
  EXPECT_EQ(helpTarget(helpContext::kSendSms), "send-sms.html#104");
  EXPECT_EQ(helpTarget(helpContext::kWizardSelect), "port-wizard.html#123");
  EXPECT_EQ(helpTarget(999), "index.html");
  for (int context : helpContexts()) {
    SCOPED_TRACE(context);
    const std::string target = helpTarget(context);
    const std::size_t hash = target.find('#');
    ASSERT_NE(hash, std::string::npos);
    const std::string page = readFile(folder + "/" + target.substr(0, hash));
    ASSERT_FALSE(page.empty()) << target;
    EXPECT_NE(page.find("id=\"" + target.substr(hash + 1) + "\""), std::string::npos) << target;
    EXPECT_NE(readFile(folder + "/index.html").find(target.substr(0, hash)), std::string::npos)
        << "the contents page links " << target;
  }
}

TEST(Help, FoundInTheFirstFolderThatHasIt) {
  test::TempDir dir;
  const std::string help = PARLANE_SOURCE_DIR "/data/help";
  EXPECT_EQ(findHelpFolder({dir.path() + "/nothing", "", help}), help);
  EXPECT_EQ(findHelpFolder({dir.path()}), "");
}

TEST(Help, OpensTheTopicInTheBrowserOrSaysWhyNot) {
  test::offscreenApp();
  test::RecordingHost host;
  const QString before = QDir::currentPath();
  QDir::setCurrent(PARLANE_SOURCE_DIR "/data");
  EXPECT_TRUE(openHelp(helpContext::kWizardIntro, host));
  host.browserWorks = false;
  EXPECT_FALSE(openHelp(helpContext::kControlPanel, host));
  QDir::setCurrent(before);
  ASSERT_EQ(host.opened.size(), 2u);
  EXPECT_EQ(host.opened[0].toString().toStdString(),
            "file://" PARLANE_SOURCE_DIR "/data/help/port-wizard.html#122");
}

}  // namespace
}  // namespace parlane
