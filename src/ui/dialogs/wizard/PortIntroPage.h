#pragma once

#include <QWizardPage>

namespace parlane {

// The wizard's first page: how to attach the phone or modem.
class PortIntroPage : public QWizardPage {
  Q_OBJECT
 public:
  explicit PortIntroPage(QWidget* parent = nullptr);
};

}  // namespace parlane
