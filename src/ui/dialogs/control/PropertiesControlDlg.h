#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "ui/dialogs/control/ControlPage.h"

class QCheckBox;
class QLabel;

namespace parlane {

// What the initialization found, shown as the "Properties" page.
struct ModemProperties {
  bool known = false;  // false until a connection has finished its initialization
  std::u16string model;
  unsigned signalPercent = 0;
  std::uint32_t features = 0;
  std::uint32_t failedChecks = 0;
};

// The "Properties" page: what the connected modem supports, and the switches of the probing.
class PropertiesControlDlg : public ControlPage {
  Q_OBJECT
 public:
  explicit PropertiesControlDlg(ControlParts& parts, QWidget* parent = nullptr);

  void load() override;
  void save() override;
  // Shows the properties again ("Update").
  void refresh() override;
  void showProperties(const ModemProperties& properties);

  // "Auto-detect optimal sending mode", kept in step with the "SMS" page's switch.
  QCheckBox* useFeatures() const { return useFeatures_; }
  // The read-only lines in their order: "Device model:" to "USSD support:".
  QString line(int index) const;
  QCheckBox* check(std::uint32_t bit) const;

 private:
  std::vector<QLabel*> lines_;
  QCheckBox* useFeatures_ = nullptr;
  std::vector<std::pair<std::uint32_t, QCheckBox*>> checks_;
};

}  // namespace parlane
