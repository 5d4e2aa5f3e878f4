#include "ui/dialogs/send/USSDSendDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialogs/common/DialogPlacement.h"

namespace parlane {

USSDSendDlg::USSDSendDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Send USSD request"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Type an USSD command (for example, '*100#'):"), this));
  edit_ = new QLineEdit(this);
  edit_->setMaxLength(kMaxCommandLength);
  layout->addWidget(edit_);
  replyBox_ = new QCheckBox(tr("Enable reply to USSD command"), this);
  replyBox_->setObjectName("1005");
  replyBox_->setChecked(true);
  layout->addWidget(replyBox_);
  auto* buttons = new QDialogButtonBox(this);
  send_ = buttons->addButton(tr("Send"), QDialogButtonBox::AcceptRole);
  send_->setDefault(true);
  send_->setEnabled(false);
  buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(edit_, &QLineEdit::textChanged, this, &USSDSendDlg::changed);
  connect(replyBox_, &QCheckBox::toggled, this, &USSDSendDlg::changed);
}

void USSDSendDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  placeNearPointer(*this, offset_);
}

void USSDSendDlg::changed() {
  command_ = edit_->text().left(kMaxCommandLength).toStdU16String();
  reply_ = replyBox_->isChecked();
  send_->setEnabled(!command_.empty());
}

}  // namespace parlane
