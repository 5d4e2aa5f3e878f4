#include "ui/mainframe/WelcomeDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"

namespace parlane {

WelcomeDlg::WelcomeDlg(SettingsStore& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowTitle(tr("Welcome to %1").arg(QString::fromStdU16String(loadString(text::kAppName))));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(
      tr("The SMS gateway runs in the background: it connects to the modem, sends the messages "
         "waiting in the outbox and stores the messages it receives in the inbox.\n\n"
         "Open the main window from the tray icon (double-click) or its menu (right button); "
         "settings and folders are in the control panel."),
      this);
  text->setWordWrap(true);
  layout->addWidget(text);
  dontShow_ = new QCheckBox(tr("Do not show welcome screen"), this);
  layout->addWidget(dontShow_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void WelcomeDlg::done(int result) {
  if (dontShow_->isChecked()) settings_.setInt("start.welcome", 0);
  QDialog::done(result);
}

}  // namespace parlane
