#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace parlane {

class DialogHost;
class FileDatabase;
class SettingsStore;

// Shows one message: its number, its URL (opened in the browser on request) and its text. "Reply"
// closes it with Accepted; the caller then opens the send dialog addressed to the number.
class SMSViewDlg : public QDialog {
  Q_OBJECT
 public:
  // `addressBook` may be null: the address book button is then disabled.
  SMSViewDlg(SettingsStore& settings, FileDatabase* addressBook, DialogHost& host,
             QWidget* parent = nullptr);

  void setMessage(const std::u16string& address, const std::u16string& url,
                  const std::u16string& text);
  void setReplyEnabled(bool enabled);
  std::u16string address() const { return address_; }

  // The text as shown: line feeds as CR LF, tabs as four spaces.
  static std::u16string displayText(const std::u16string& text);

  QLineEdit* addressEdit() const { return address_edit_; }
  QLineEdit* urlEdit() const { return url_edit_; }
  QPlainTextEdit* textView() const { return text_; }
  QToolButton* openUrlButton() const { return openUrl_; }
  QToolButton* addContactButton() const { return addContact_; }
  QPushButton* replyButton() const { return reply_; }

 private:
  void openUrl();
  void addToAddressBook();

  SettingsStore& settings_;
  FileDatabase* addressBook_;
  DialogHost& host_;
  std::u16string address_;
  std::u16string url_;
  QLineEdit* address_edit_ = nullptr;
  QLineEdit* url_edit_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
  QToolButton* openUrl_ = nullptr;
  QToolButton* addContact_ = nullptr;
  QPushButton* reply_ = nullptr;
};

}  // namespace parlane
