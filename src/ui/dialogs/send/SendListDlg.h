#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace parlane {

// Takes a pasted list of "number,text" lines; splitting and queuing them is the caller's.
class SendListDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMaxListLength = 1000000;

  explicit SendListDlg(QWidget* parent = nullptr);

  // The whole list as it stood when "Send!" was pressed.
  const std::u16string& listText() const { return list_; }

  QPlainTextEdit* listEdit() const { return edit_; }
  QPushButton* sendButton() const { return send_; }

 public slots:
  void accept() override;

 private:
  void changed();

  std::u16string list_;
  QPlainTextEdit* edit_ = nullptr;
  QLabel* cut_ = nullptr;
  QPushButton* send_ = nullptr;
};

}  // namespace parlane
