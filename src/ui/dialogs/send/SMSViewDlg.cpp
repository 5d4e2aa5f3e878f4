#include "ui/dialogs/send/SMSViewDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/log/Logger.h"
#include "core/util/StringTable.h"
#include "ui/dialogs/addressbook/ContactEditDlg.h"
#include "ui/dialogs/addressbook/ContactIcons.h"
#include "ui/dialogs/common/DialogHost.h"
#include "ui/dialogs/common/OutgoingMessages.h"
#include "ui/dialogs/send/WebAddress.h"

namespace parlane {

SMSViewDlg::SMSViewDlg(SettingsStore& settings, FileDatabase* addressBook, DialogHost& host,
                       QWidget* parent)
    : QDialog(parent), settings_(settings), addressBook_(addressBook), host_(host) {
  setWindowTitle(tr("View SMS"));
  resize(460, 320);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout();

  auto* addressRow = new QHBoxLayout();
  address_edit_ = new QLineEdit(this);
  address_edit_->setObjectName("202");
  address_edit_->setReadOnly(true);
  addContact_ = new QToolButton(this);
  addContact_->setObjectName("203");
  addContact_->setIcon(addContactIcon(*this));
  addContact_->setToolTip(tr("Add to the address book"));
  addContact_->setEnabled(addressBook_ != nullptr);
  addressRow->addWidget(address_edit_, 1);
  addressRow->addWidget(addContact_);
  form->addRow(tr("Address:"), addressRow);

  auto* urlRow = new QHBoxLayout();
  url_edit_ = new QLineEdit(this);
  url_edit_->setObjectName("206");
  url_edit_->setReadOnly(true);
  openUrl_ = new QToolButton(this);
  openUrl_->setObjectName("268");
  openUrl_->setIcon(
      QIcon::fromTheme("internet-web-browser", style()->standardIcon(QStyle::SP_DialogOpenButton)));
  openUrl_->setToolTip(tr("Open in the browser"));
  openUrl_->setEnabled(false);
  urlRow->addWidget(url_edit_, 1);
  urlRow->addWidget(openUrl_);
  form->addRow(tr("URL:"), urlRow);
  layout->addLayout(form);

  text_ = new QPlainTextEdit(this);
  text_->setObjectName("207");
  text_->setReadOnly(true);
  layout->addWidget(text_, 1);

  auto* buttons = new QDialogButtonBox(this);
  reply_ = buttons->addButton(tr("Reply"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QDialogButtonBox::Close);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(openUrl_, &QToolButton::clicked, this, &SMSViewDlg::openUrl);
  connect(addContact_, &QToolButton::clicked, this, &SMSViewDlg::addToAddressBook);
}

std::u16string SMSViewDlg::displayText(const std::u16string& text) {
  std::u16string shown;
  shown.reserve(text.size());
  for (char16_t unit : text) {
    if (unit == u'\n') {
      shown += u"\r\n";
    } else if (unit == u'\t') {
      shown += u"    ";
    } else {
      shown += unit;
    }
  }
  return shown;
}

void SMSViewDlg::setMessage(const std::u16string& address, const std::u16string& url,
                            const std::u16string& text) {
  address_ = address;
  url_ = url;
  address_edit_->setText(QString::fromStdU16String(address));
  url_edit_->setText(QString::fromStdU16String(url));
  text_->setPlainText(QString::fromStdU16String(displayText(text)));
  openUrl_->setEnabled(!url.empty());
}

void SMSViewDlg::setReplyEnabled(bool enabled) {
  const bool replyable = isReplyable(address_);
  reply_->setEnabled(enabled && replyable);
  reply_->setToolTip(replyable || address_.empty()
                         ? QString()
                         : QString::fromStdU16String(noReplyReason(address_)));
}

void SMSViewDlg::openUrl() {
  const QString address = QString::fromStdU16String(url_);
  const QUrl url = webUrl(address);
  if (url.isValid() && host_.openUrl(url)) return;
  Logger::log(2, u"Can't open the URL " + url_);
  host_.warning(this, QString::fromStdU16String(loadString(text::kWarning)),
                url.isValid() ? tr("No browser could open %1.").arg(url.toString())
                              : tr("'%1' is not a web address and is not opened.").arg(address));
}

void SMSViewDlg::addToAddressBook() {
  if (addressBook_ == nullptr || address_.empty()) return;
  ContactEditDlg editor(*addressBook_, settings_, {address_}, host_, this);
  host_.run(editor);
}

}  // namespace parlane
