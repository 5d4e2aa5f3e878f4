#pragma once

#include <QWidget>

#include "ui/dialogs/control/ControlParts.h"

namespace parlane {

// One page of the control panel. Settings pages read the store when shown and write it on
// "OK" or "Apply" only when the user changed something on them; folder pages act at once.
class ControlPage : public QWidget {
  Q_OBJECT
 public:
  explicit ControlPage(ControlParts& parts, QWidget* parent = nullptr);

  // Fills the controls from the settings (and forgets any change).
  virtual void load() {}
  // Writes the controls into the settings.
  virtual void save() {}
  // Whether the user changed a control since the last load or save.
  bool isModified() const { return modified_; }
  // The page is shown again (its tab chosen, the panel brought to the front).
  virtual void refresh() {}

 signals:
  void modified();

 protected:
  // Every editing control reports here.
  void markModified();
  void markSaved() { modified_ = false; }

  ControlParts& parts_;

 private:
  bool modified_ = false;
};

}  // namespace parlane
