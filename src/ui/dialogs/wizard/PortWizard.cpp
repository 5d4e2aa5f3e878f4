#include "ui/dialogs/wizard/PortWizard.h"

#include "core/log/Logger.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"
#include "engine/PortDetector.h"
#include "ui/dialogs/common/DialogHost.h"
#include "ui/dialogs/common/HelpViewer.h"
#include "ui/dialogs/wizard/PortChoice.h"
#include "ui/dialogs/wizard/PortIntroPage.h"
#include "ui/dialogs/wizard/PortSelectPage.h"

namespace parlane {

namespace {

constexpr int kWizardTitle = 40205;

}  // namespace

PortWizard::PortWizard(SettingsStore& settings, const PortDetector& detector, QWidget* parent,
                       std::string byIdFolder)
    : QWizard(parent),
      settings_(settings),
      detector_(detector),
      byIdFolder_(std::move(byIdFolder)) {
  setWindowTitle(QString::fromStdU16String(loadString(kWizardTitle)));
  setOption(QWizard::HaveHelpButton, true);
  setOption(QWizard::NoBackButtonOnStartPage, true);
  intro_ = new PortIntroPage(this);
  select_ = new PortSelectPage(detector_, this);
  setPage(kIntroPage, intro_);
  setPage(kSelectPage, select_);
  setStartId(kIntroPage);
  connect(this, &QWizard::helpRequested, this, &PortWizard::showHelp);
}

bool PortWizard::run(SettingsStore& settings, QWidget* owner) {
  const PortDetector detector(settings);
  PortWizard wizard(settings, detector, owner);
  wizard.setHelpOpener([](int topic) { openHelp(topic, DialogHost::desktop()); });
  return wizard.exec() == QDialog::Accepted;
}

void PortWizard::accept() {
  std::optional<ModemPortInfo> choice = select_->selectedEntry();
  if (!choice) return;
  const std::string link = stableLinkFor(detector_.devicePath(choice->port), byIdFolder_);
  if (!link.empty()) choice->port = fromUtf8(link);
  storePortChoice(settings_, *choice);
  QWizard::accept();
}

void PortWizard::showHelp() {
  const int topic = currentId() == kSelectPage ? kSelectHelpTopic : kIntroHelpTopic;
  if (openHelp_) {
    openHelp_(topic);
  } else {
    Logger::log(0, formatText(u"Help topic %d is not part of this build", {topic}));
  }
}

}  // namespace parlane
