#include "ui/dialogs/wizard/PortIntroPage.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/mainframe/GatewayIcon.h"

namespace parlane {

PortIntroPage::PortIntroPage(QWidget* parent) : QWizardPage(parent) {
  auto* layout = new QVBoxLayout(this);
  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("picture"));
  picture->setPixmap(gatewayIcon().pixmap(64, 64));
  layout->addWidget(picture, 0, Qt::AlignLeft);
  auto* welcome = new QLabel(tr("Welcome to GSM modem connection wizard!"), this);
  QFont bold = welcome->font();
  bold.setBold(true);
  welcome->setFont(bold);
  layout->addWidget(welcome);
  for (const QString& line :
       {tr("Please ensure that your mobile device is connected to the PC in one of the following "
           "ways:"),
        tr("1. You have connected it via cable and properly installed all device drivers;"),
        tr("2. You have activated Bluetooth on both the mobile phone and the PC, started the "
           "system Bluetooth connection wizard and connected the device with the PC.")}) {
    auto* label = new QLabel(line, this);
    label->setWordWrap(true);
    layout->addWidget(label);
  }
  layout->addStretch(1);
}

}  // namespace parlane
