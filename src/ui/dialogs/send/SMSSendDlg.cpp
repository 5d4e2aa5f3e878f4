#include "ui/dialogs/send/SMSSendDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "engine/ModemModes.h"
#include "gsm/NationalLanguageList.h"
#include "message/GenericMessage.h"
#include "service/RecipientCheck.h"
#include "ui/dialogs/addressbook/AddressBookDlg.h"
#include "ui/dialogs/addressbook/ContactEditDlg.h"
#include "ui/dialogs/addressbook/ContactIcons.h"
#include "ui/dialogs/common/DialogHost.h"
#include "ui/dialogs/common/DialogPlacement.h"
#include "ui/dialogs/common/HelpTopics.h"
#include "ui/dialogs/common/HelpViewer.h"
#include "ui/dialogs/common/OutgoingMessages.h"
#include "ui/dialogs/send/InvalidRecipients.h"
#include "ui/dialogs/send/MessageCounter.h"
#include "ui/dialogs/send/RecipientText.h"
#include "ui/dialogs/send/SendHistory.h"
#include "ui/dialogs/send/WebAddress.h"

namespace parlane {

namespace {

QString qs(const std::u16string& text) { return QString::fromStdU16String(text); }

}  // namespace

SMSSendDlg::SMSSendDlg(SettingsStore& settings, FileDatabase* addressBook, DialogHost& host,
                       QWidget* parent)
    : QDialog(parent), settings_(settings), addressBook_(addressBook), host_(host) {
  buildControls();

  // Opening: flash and push off, the report as configured, Send and the URL disabled.
  report_->setChecked(settings_.getInt("status_reports") != 0);
  send_->setEnabled(false);
  url_->setEnabled(false);
  textMode_ = readSendMode(settings_) == SendMode::kText;
  if (textMode_) {
    // Text mode supports neither.
    setWindowTitle(qs(loadString(40099)));
    flash_->setEnabled(false);
    push_->setEnabled(false);
  } else {
    setWindowTitle(tr("Send SMS (PDU mode)"));
  }
  history_ = SendHistory::load(settings_);
  for (const std::u16string& entry : history_) recipients_->addItem(qs(entry));
  recipients_->setCurrentIndex(-1);
  recipients_->setEditText({});
  for (int id = 40190; id <= 40195; ++id) ton_->addItem(qs(loadString(id)));
  ton_->setCurrentIndex(0);
  toAscii_ = settings_.getInt("convert_to_ascii") != 0;
  encoderOptions_.lengthCorrection = settings_.getInt("sms.length_correction");
  encoderOptions_.smscInPdu = settings_.getInt("smsc_addr_in_pdu") == 1;
  encoderOptions_.smscAddress = settings_.getString("smsc.address");
  encoderOptions_.nationalLanguages =
      parseNationalLanguages(settings_.getString("sms.national_languages"));
  addContacts_->setEnabled(addressBook_ != nullptr);
  pickContacts_->setEnabled(addressBook_ != nullptr);

  counterTimer_.setSingleShot(true);
  counterTimer_.setInterval(kCounterDelayMs);
  connect(&counterTimer_, &QTimer::timeout, this, &SMSSendDlg::updateCounter);
  connect(flash_, &QCheckBox::clicked, this, &SMSSendDlg::flashClicked);
  connect(push_, &QCheckBox::clicked, this, &SMSSendDlg::pushClicked);
  connect(recipients_, &QComboBox::editTextChanged, this, &SMSSendDlg::recipientsEdited);
  connect(text_, &QPlainTextEdit::textChanged, this, &SMSSendDlg::textEdited);
  connect(url_, &QLineEdit::textChanged, this, &SMSSendDlg::scheduleCounter);
  connect(ton_, &QComboBox::currentIndexChanged, this, &SMSSendDlg::scheduleCounter);
  connect(report_, &QCheckBox::toggled, this, &SMSSendDlg::scheduleCounter);
  connect(pickContacts_, &QToolButton::clicked, this, &SMSSendDlg::pickFromAddressBook);
  connect(addContacts_, &QToolButton::clicked, this, &SMSSendDlg::addToAddressBook);
  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, [this] { openHelp(helpContext::kSendSms, host_); });
}

SMSSendDlg::~SMSSendDlg() = default;

void SMSSendDlg::buildControls() {
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout();

  auto* recipientsRow = new QHBoxLayout();
  recipients_ = new QComboBox(this);
  recipients_->setObjectName("202");
  recipients_->setEditable(true);
  recipients_->setInsertPolicy(QComboBox::NoInsert);
  recipients_->setMinimumContentsLength(28);
  // A history entry is picked, not completed into what is being typed.
  recipients_->setCompleter(nullptr);
  addContacts_ = new QToolButton(this);
  addContacts_->setObjectName("203");
  addContacts_->setIcon(addContactIcon(*this));
  addContacts_->setToolTip(tr("Add to the address book"));
  pickContacts_ = new QToolButton(this);
  pickContacts_->setObjectName("204");
  pickContacts_->setIcon(addressBookIcon(*this));
  pickContacts_->setToolTip(tr("Choose from the address book"));
  recipientsRow->addWidget(recipients_, 1);
  recipientsRow->addWidget(addContacts_);
  recipientsRow->addWidget(pickContacts_);
  form->addRow(tr("To:"), recipientsRow);

  auto* options = new QHBoxLayout();
  flash_ = new QCheckBox(tr("Flash"), this);
  flash_->setObjectName("201");
  ton_ = new QComboBox(this);
  ton_->setObjectName("1009");
  options->addWidget(flash_);
  options->addStretch(1);
  options->addWidget(new QLabel(tr("Type of number:"), this));
  options->addWidget(ton_);
  form->addRow(options);

  auto* pushRow = new QHBoxLayout();
  push_ = new QCheckBox(tr("WAP Push"), this);
  push_->setObjectName("205");
  url_ = new QLineEdit(this);
  url_->setObjectName("206");
  pushRow->addWidget(push_);
  pushRow->addWidget(new QLabel(tr("URL:"), this));
  pushRow->addWidget(url_, 1);
  form->addRow(pushRow);

  report_ = new QCheckBox(tr("Delivery report"), this);
  report_->setObjectName("1002");
  form->addRow(report_);

  // Local time, as the user reads the clock; both editors stay off until their box is checked.
  const auto timeRow = [&](const QString& label, const char* boxName, const char* editName,
                           QCheckBox*& box, QDateTimeEdit*& edit) {
    auto* row = new QHBoxLayout();
    box = new QCheckBox(label, this);
    box->setObjectName(boxName);
    edit = new QDateTimeEdit(QDateTime::currentDateTime().addSecs(3600), this);
    edit->setObjectName(editName);
    edit->setCalendarPopup(true);
    edit->setDisplayFormat("yyyy-MM-dd HH:mm");
    edit->setEnabled(false);
    connect(box, &QCheckBox::toggled, edit, &QDateTimeEdit::setEnabled);
    row->addWidget(box);
    row->addWidget(edit, 1);
    form->addRow(row);
  };
  timeRow(tr("Send later"), "sendLater", "sendLaterTime", later_, laterTime_);
  timeRow(tr("Expires"), "expires", "expiresTime", expires_, expiresTime_);
  layout->addLayout(form);

  text_ = new QPlainTextEdit(this);
  text_->setObjectName("207");
  text_->setTabChangesFocus(true);
  layout->addWidget(text_, 1);
  counter_ = new QLabel(tr("0 characters, 7-bit coding, 1 fragment(s)"), this);
  counter_->setObjectName("208");
  layout->addWidget(counter_);

  auto* buttons = new QDialogButtonBox(this);
  send_ = buttons->addButton(tr("Send"), QDialogButtonBox::AcceptRole);
  send_->setDefault(true);
  buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &SMSSendDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SMSSendDlg::reject);
  layout->addWidget(buttons);
}

void SMSSendDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  placeNearPointer(*this, offset_);
}

void SMSSendDlg::setRecipient(const QString& number) {
  group_.clear();
  recipients_->setEditText(number);
}

std::u16string SMSSendDlg::text() const {
  return text_->toPlainText().left(kMaxTextLength).toStdU16String();
}

std::vector<std::u16string> SMSSendDlg::recipients() const {
  const std::u16string box = recipients_->currentText().toStdU16String();
  if (isGroupLabel(box)) return group_;
  return splitRecipients(box);
}

void SMSSendDlg::flashClicked() {
  if (flash_->isChecked()) {
    push_->setEnabled(false);
    url_->setEnabled(false);
  } else {
    push_->setEnabled(!textMode_);
    url_->setEnabled(push_->isChecked());
  }
  scheduleCounter();
}

void SMSSendDlg::pushClicked() {
  url_->setEnabled(push_->isChecked());
  // A service indication is never a flash message either.
  flash_->setEnabled(!textMode_ && !push_->isChecked());
  scheduleCounter();
}

void SMSSendDlg::recipientsEdited() {
  // One type of number can't fit several numbers: each gets its own.
  const bool single = recipients().size() < 2;
  if (!single) ton_->setCurrentIndex(0);
  ton_->setEnabled(single);
  scheduleCounter();
}

void SMSSendDlg::textEdited() {
  // The box never holds more than is sent.
  if (text_->document()->characterCount() - 1 > kMaxTextLength) {
    QTextCursor cursor(text_->document());
    cursor.setPosition(kMaxTextLength);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    return;  // removing emits another change
  }
  scheduleCounter();
}

void SMSSendDlg::scheduleCounter() { counterTimer_.start(); }

QString SMSSendDlg::counterText() {
  if (counterTimer_.isActive()) {
    counterTimer_.stop();
    updateCounter();
  }
  return counter_->text();
}

void SMSSendDlg::updateCounter() {
  counterTimer_.stop();
  const std::u16string body = text();
  const std::u16string url = url_->text().toStdU16String();
  CounterInput input;
  input.text = body;
  input.url = url;
  input.push = push_->isChecked() && !flash_->isChecked() && !textMode_;
  input.textMode = textMode_;
  input.toAscii = toAscii_;
  input.encoder = encoderOptions_;
  const CounterResult result = countMessage(input);
  counter_->setText(qs(result.display));
  const bool anyone = !recipients().empty();
  sendable_ = anyone && result.fragments > 0 && (input.push ? !url.empty() : !body.empty());
  send_->setEnabled(sendable_);
}

void SMSSendDlg::accept() {
  // What was typed last counts, even when the counter had not run yet.
  updateCounter();
  if (!sendable_) return;
  const bool push = push_->isChecked() && !flash_->isChecked() && !textMode_;
  if (push && !hasScheme(url_->text())) {
    const QString fixed = withScheme(url_->text());
    if (!host_.question(this, qs(loadString(text::kWarning)),
                        tr("The URL '%1' names no scheme. Send it as '%2'?")
                            .arg(url_->text().trimmed(), fixed))) {
      return;
    }
    url_->setText(fixed);
  }
  // A refused recipient keeps the dialog open with what was typed, to be put right.
  const std::vector<std::u16string> invalid =
      invalidRecipients(recipients(), ton_->isEnabled() ? ton_->currentIndex() : 0);
  if (!invalid.empty()) {
    host_.warning(this, qs(loadString(text::kWarning)), invalidRecipientsText(invalid));
    return;
  }
  const std::vector<std::u16string> refused = notAllowedNumbers(recipients(), settings_);
  if (!refused.empty()) {
    host_.warning(this, qs(loadString(text::kWarning)), notAllowedRecipientsText(refused));
    return;
  }
  if (const QString problem = scheduleProblem(); !problem.isEmpty()) {
    host_.warning(this, qs(loadString(text::kWarning)), problem);
    return;
  }
  const std::u16string box = recipients_->currentText().toStdU16String();
  SendHistory::remember(history_, box);
  SendHistory::save(settings_, history_);
  QDialog::accept();
}

QString SMSSendDlg::scheduleProblem() const {
  const QDateTime now = QDateTime::currentDateTime();
  const QString shown = "yyyy-MM-dd HH:mm";
  if (later_->isChecked() && laterTime_->dateTime() <= now) {
    return tr("The time to send at, %1, is past already.")
        .arg(laterTime_->dateTime().toString(shown));
  }
  if (expires_->isChecked() && expiresTime_->dateTime() <= now) {
    return tr("The expiry time, %1, is past already.")
        .arg(expiresTime_->dateTime().toString(shown));
  }
  if (later_->isChecked() && expires_->isChecked() &&
      expiresTime_->dateTime() <= laterTime_->dateTime()) {
    return tr("The message would expire before it may be sent.");
  }
  return {};
}

std::vector<std::unique_ptr<GenericMessage>> SMSSendDlg::messages() {
  SendContent content;
  content.source = source_;
  content.text = text();
  content.url = url_->text().toStdU16String();
  content.push = push_->isChecked() && !flash_->isChecked() && !textMode_;
  content.flash = flash_->isChecked() && !textMode_;
  content.report = report_->isChecked();
  content.tonIndex = ton_->isEnabled() ? ton_->currentIndex() : 0;
  content.toAscii = toAscii_;
  std::vector<std::u16string> invalid;
  auto result = buildOutgoingMessages(content, recipients(), invalid);
  if (!invalid.empty()) {
    host_.warning(this, qs(loadString(text::kWarning)), invalidRecipientsText(invalid));
  }
  for (const auto& message : result) {
    if (later_->isChecked()) {
      message->notBefore = static_cast<MessageTime>(laterTime_->dateTime().toSecsSinceEpoch());
    }
    if (expires_->isChecked()) {
      message->expires = static_cast<MessageTime>(expiresTime_->dateTime().toSecsSinceEpoch());
    }
  }
  return result;
}

void SMSSendDlg::pickFromAddressBook() {
  if (addressBook_ == nullptr) return;
  AddressBookDlg book(*addressBook_, settings_, host_, this);
  if (host_.run(book) != QDialog::Accepted) return;
  const std::vector<std::u16string> numbers = book.selectedNumbers();
  if (numbers.empty()) return;
  if (numbers.size() == 1) {
    group_.clear();
    recipients_->setEditText(qs(numbers.front()));
  } else {
    // The label is set first: the box's change reads the group it names.
    group_ = numbers;
    recipients_->setEditText(qs(formatString(40292, {static_cast<int>(numbers.size())})));
  }
  recipientsEdited();
}

void SMSSendDlg::addToAddressBook() {
  if (addressBook_ == nullptr) return;
  ContactEditDlg editor(*addressBook_, settings_, recipients(), host_, this);
  host_.run(editor);
}

}  // namespace parlane
