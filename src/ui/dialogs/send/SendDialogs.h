#pragma once

#include <QPointer>
#include <QString>

class QDialog;

namespace parlane {

class CMainFrame;
class DialogHost;
class FileDatabase;
class SettingsStore;

// The main window's send commands: "Send SMS", "Send over a list", "Send USSD" and "View last
// SMS" open their dialogs modally, and what a dialog accepted goes through the window's send
// path.
class SendDialogs {
 public:
  SendDialogs(CMainFrame& frame, SettingsStore& settings, FileDatabase* addressBook,
              DialogHost& host);

  // Hands the window an opener for each of the four commands.
  void install();

  // Each returns the number of messages queued.
  int sendSms(const QString& recipient = {});
  int sendList();
  int sendUssd();
  int viewLastMessage();
  // Shows one message (from a folder or the modem memory); "Reply" opens the send dialog to its
  // number when `replyEnabled`.
  int viewMessage(const std::u16string& address, const std::u16string& url,
                  const std::u16string& text, bool replyEnabled);

 private:
  // Runs `dialog` unless one of these dialogs is open already (the tray menu stays usable while a
  // modal dialog waits): that one comes to the front instead.
  bool run(QDialog& dialog);

  CMainFrame& frame_;
  SettingsStore& settings_;
  FileDatabase* addressBook_;
  DialogHost& host_;
  QPointer<QDialog> open_;
};

}  // namespace parlane
