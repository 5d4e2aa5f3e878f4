#pragma once

#include <QDialog>
#include <QPoint>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace parlane {

// Takes one USSD command ("*100#") and whether the network's reply is to be shown.
class USSDSendDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMaxCommandLength = 1000;

  explicit USSDSendDlg(QWidget* parent = nullptr);

  void setPositionOffset(QPoint offset) { offset_ = offset; }
  std::u16string command() const { return command_; }
  bool replyWanted() const { return reply_; }

  QLineEdit* commandEdit() const { return edit_; }
  QCheckBox* replyBox() const { return replyBox_; }
  QPushButton* sendButton() const { return send_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void changed();

  QPoint offset_;
  std::u16string command_;
  bool reply_ = true;
  QLineEdit* edit_ = nullptr;
  QCheckBox* replyBox_ = nullptr;
  QPushButton* send_ = nullptr;
};

}  // namespace parlane
