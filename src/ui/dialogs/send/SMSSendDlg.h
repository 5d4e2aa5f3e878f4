#pragma once

#include <QDialog>
#include <QPoint>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "gsm/PduEncoderOptions.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace parlane {

class DialogHost;
class FileDatabase;
class GenericMessage;
class SettingsStore;

// Composes short messages: recipients (typed, from the history or from the address book), text,
// flash, WAP Push with its URL, delivery report, type of number, a time to send at and one to
// give up at, with a live counter of
// characters, coding and fragments. After "Send" the caller takes one message per recipient.
class SMSSendDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMaxTextLength = 10000;
  // Edits come in bursts (typing, pasting): the counter runs once the burst is over.
  static constexpr int kCounterDelayMs = 120;

  // `addressBook` may be null: the address book buttons are then disabled.
  SMSSendDlg(SettingsStore& settings, FileDatabase* addressBook, DialogHost& host,
             QWidget* parent = nullptr);
  ~SMSSendDlg() override;

  // Where to open relative to the mouse pointer; (0, 0) leaves the placement to the system.
  void setPositionOffset(QPoint offset) { offset_ = offset; }
  // The single recipient the dialog starts with (a reply).
  void setRecipient(const QString& number);
  // The originating number put into every message.
  void setSource(std::u16string source) { source_ = std::move(source); }

  // After "Send": one new message per valid recipient; each invalid one is named in a warning.
  std::vector<std::unique_ptr<GenericMessage>> messages();

  // The recipients as read from the box (or the group the address book chose).
  std::vector<std::u16string> recipients() const;
  // The counter line, brought up to date first.
  QString counterText();
  const std::vector<std::u16string>& history() const { return history_; }

  QComboBox* recipientsBox() const { return recipients_; }
  QCheckBox* flashBox() const { return flash_; }
  QCheckBox* pushBox() const { return push_; }
  QLineEdit* urlEdit() const { return url_; }
  QCheckBox* reportBox() const { return report_; }
  QComboBox* tonList() const { return ton_; }
  QCheckBox* laterBox() const { return later_; }
  QDateTimeEdit* laterEdit() const { return laterTime_; }
  QCheckBox* expiresBox() const { return expires_; }
  QDateTimeEdit* expiresEdit() const { return expiresTime_; }
  QPlainTextEdit* textEdit() const { return text_; }
  QPushButton* sendButton() const { return send_; }
  QToolButton* addContactsButton() const { return addContacts_; }
  QToolButton* pickContactsButton() const { return pickContacts_; }

 public slots:
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void buildControls();
  void flashClicked();
  void pushClicked();
  void recipientsEdited();
  void textEdited();
  void scheduleCounter();
  void updateCounter();
  void pickFromAddressBook();
  void addToAddressBook();
  std::u16string text() const;
  // Empty when the times checked may be used, else what is wrong with them.
  QString scheduleProblem() const;

  SettingsStore& settings_;
  FileDatabase* addressBook_;
  DialogHost& host_;
  QPoint offset_;
  std::u16string source_;
  bool textMode_ = false;
  bool toAscii_ = false;
  PduEncoderOptions encoderOptions_;
  std::vector<std::u16string> history_;
  // The numbers behind a group label.
  std::vector<std::u16string> group_;
  bool sendable_ = false;

  QComboBox* recipients_ = nullptr;
  QToolButton* addContacts_ = nullptr;
  QToolButton* pickContacts_ = nullptr;
  QCheckBox* flash_ = nullptr;
  QComboBox* ton_ = nullptr;
  QCheckBox* push_ = nullptr;
  QLineEdit* url_ = nullptr;
  QCheckBox* report_ = nullptr;
  QCheckBox* later_ = nullptr;
  QDateTimeEdit* laterTime_ = nullptr;
  QCheckBox* expires_ = nullptr;
  QDateTimeEdit* expiresTime_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
  QLabel* counter_ = nullptr;
  QPushButton* send_ = nullptr;
  QTimer counterTimer_;
};

}  // namespace parlane
