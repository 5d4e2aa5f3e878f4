#pragma once

#include <QWizard>
#include <functional>
#include <string>

#include "engine/StablePortLink.h"

namespace parlane {

class PortDetector;
class PortIntroPage;
class PortSelectPage;
class SettingsStore;

// "GSM modem connection wizard": finds the modem's port and, on "Finish", stores it with the
// recently used ports and "modem.default". When the chosen device has a link under the by-id
// folder, that link is stored instead of the tty name, so that a USB modem plugged in again (under
// another ttyUSBn) is still found.
class PortWizard : public QWizard {
  Q_OBJECT
 public:
  enum Page { kIntroPage, kSelectPage };
  static constexpr int kIntroHelpTopic = 122;
  static constexpr int kSelectHelpTopic = 123;

  PortWizard(SettingsStore& settings, const PortDetector& detector, QWidget* parent = nullptr,
             std::string byIdFolder = kSerialByIdFolder);

  // Modal, owned by `owner`; true when it was finished. Everything it decides is in the settings.
  static bool run(SettingsStore& settings, QWidget* owner);

  // Opens help at a topic; without one, a help request only notes the topic in the log.
  void setHelpOpener(std::function<void(int topic)> open) { openHelp_ = std::move(open); }

  PortIntroPage* introPage() const { return intro_; }
  PortSelectPage* selectPage() const { return select_; }

  // "Finish".
  void accept() override;

 private:
  void showHelp();

  SettingsStore& settings_;
  const PortDetector& detector_;
  std::string byIdFolder_;
  std::function<void(int)> openHelp_;
  PortIntroPage* intro_ = nullptr;
  PortSelectPage* select_ = nullptr;
};

}  // namespace parlane
