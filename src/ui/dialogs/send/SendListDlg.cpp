#include "ui/dialogs/send/SendListDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

namespace parlane {

SendListDlg::SendListDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Send messages from a list"));
  resize(520, 400);
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      tr("Enter the list of phone numbers and messages. The phone number and the message should "
         "be separated by comma, each line should contain one phone number and one message."),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);
  edit_ = new QPlainTextEdit(this);
  edit_->setObjectName("1001");
  edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  layout->addWidget(edit_, 1);
  cut_ = new QLabel(this);
  cut_->setWordWrap(true);
  cut_->hide();
  layout->addWidget(cut_);
  auto* buttons = new QDialogButtonBox(this);
  send_ = buttons->addButton(tr("Send!"), QDialogButtonBox::AcceptRole);
  send_->setDefault(true);
  buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &SendListDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(edit_, &QPlainTextEdit::textChanged, this, &SendListDlg::changed);
}

void SendListDlg::changed() {
  // The box takes no more than the limit; what a paste brought beyond it is dropped, and said so.
  if (edit_->document()->characterCount() - 1 > kMaxListLength) {
    QTextCursor cursor(edit_->document());
    cursor.setPosition(kMaxListLength);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cut_->setText(tr("The list is cut at %L1 characters.").arg(kMaxListLength));
    cut_->show();
  }
}

void SendListDlg::accept() {
  list_ = edit_->toPlainText().left(kMaxListLength).toStdU16String();
  QDialog::accept();
}

}  // namespace parlane
