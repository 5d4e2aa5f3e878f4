#pragma once

#include <QWidget>

#include "ui/mainframe/MainScreenView.h"

class QLabel;
class QPushButton;

namespace parlane {

// The main screen: connection, modem, folder counts and the last received message, with a button
// for each menu command. Closing it only hides it.
class StartupDlg : public QWidget {
  Q_OBJECT
 public:
  explicit StartupDlg(QWidget* parent = nullptr);

  void showView(const MainScreenView& view);
  // Shows the window, or brings it to the front when it is open.
  void present();

  // For tests: the button of a command.
  QPushButton* button(int command) const;

 signals:
  void commandRequested(int command);

 private:
  QPushButton* addButton(int command, const QString& label);

  QLabel* state_ = nullptr;
  QLabel* modem_ = nullptr;
  QLabel* folders_ = nullptr;
  QLabel* lastMessage_ = nullptr;
  QPushButton* connect_ = nullptr;
  QPushButton* sendSms_ = nullptr;
  std::vector<std::pair<int, QPushButton*>> buttons_;
};

}  // namespace parlane
