#include "ui/dialogs/control/ControlPage.h"

namespace parlane {

ControlPage::ControlPage(ControlParts& parts, QWidget* parent) : QWidget(parent), parts_(parts) {}

void ControlPage::markModified() {
  modified_ = true;
  emit modified();
}

}  // namespace parlane
