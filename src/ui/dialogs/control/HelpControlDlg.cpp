#include "ui/dialogs/control/HelpControlDlg.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/util/StringTable.h"

#ifndef PARLANE_VERSION
#define PARLANE_VERSION "0"
#endif

namespace parlane {

HelpControlDlg::HelpControlDlg(ControlParts& parts, QWidget* parent) : ControlPage(parts, parent) {
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(QString::fromStdU16String(loadString(text::kAppName)), this);
  QFont big = name->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  name->setFont(big);
  layout->addWidget(name);
  layout->addWidget(new QLabel(tr("SMS gateway for a GSM modem or mobile phone"), this));
  layout->addWidget(new QLabel(
      QString::fromStdU16String(formatString(40234, {std::u16string(u"" PARLANE_VERSION)})), this));
  auto* help = new QPushButton(tr("Help"), this);
  help->setEnabled(static_cast<bool>(parts_.hooks.openHelp));
  connect(help, &QPushButton::clicked, this, [this] { parts_.hooks.openHelp(0); });
  layout->addWidget(help, 0, Qt::AlignLeft);
  layout->addStretch();
}

}  // namespace parlane
