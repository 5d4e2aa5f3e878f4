#include "ui/dialogs/send/SendDialogs.h"

#include <QDialog>
#include <QStringList>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "engine/UssdCommand.h"
#include "message/USSDRequest.h"
#include "ui/dialogs/common/DialogHost.h"
#include "ui/dialogs/send/SMSSendDlg.h"
#include "ui/dialogs/send/SMSViewDlg.h"
#include "ui/dialogs/send/SendList.h"
#include "ui/dialogs/send/SendListDlg.h"
#include "ui/dialogs/send/USSDSendDlg.h"
#include "ui/mainframe/CMainFrame.h"
#include "ui/mainframe/MenuCommand.h"

namespace parlane {

namespace {

// Lines named in the warning about a list; the count says how many there were in all.
constexpr std::size_t kLinesNamed = 20;

QString rejectedLinesText(const std::vector<std::size_t>& lines) {
  QStringList named;
  for (std::size_t i = 0; i < lines.size() && i < kLinesNamed; ++i) {
    named << QString::number(static_cast<qulonglong>(lines[i]));
  }
  if (lines.size() > kLinesNamed) named << QStringLiteral("...");
  return QObject::tr(
             "%n line(s) of the list are not sent: each line needs a phone number, a comma "
             "and the message.\nLines: %1",
             "", static_cast<int>(lines.size()))
      .arg(named.join(QStringLiteral(", ")));
}

}  // namespace

SendDialogs::SendDialogs(CMainFrame& frame, SettingsStore& settings, FileDatabase* addressBook,
                         DialogHost& host)
    : frame_(frame), settings_(settings), addressBook_(addressBook), host_(host) {}

bool SendDialogs::run(QDialog& dialog) {
  if (open_ != nullptr) {
    open_->raise();
    open_->activateWindow();
    return false;
  }
  open_ = &dialog;
  const int result = host_.run(dialog);
  open_ = nullptr;
  return result == QDialog::Accepted;
}

void SendDialogs::install() {
  frame_.setDialogOpener(command::kSendSms, [this] { sendSms(); });
  frame_.setDialogOpener(command::kSendList, [this] { sendList(); });
  frame_.setDialogOpener(command::kSendUssd, [this] { sendUssd(); });
  frame_.setDialogOpener(command::kViewLastSms, [this] { viewLastMessage(); });
}

// The dialogs have no parent: the main window is never shown, and a dialog over it would open in
// a corner of the screen rather than in its middle.
int SendDialogs::sendSms(const QString& recipient) {
  SMSSendDlg dialog(settings_, addressBook_, host_);
  if (!recipient.isEmpty()) dialog.setRecipient(recipient);
  if (!run(dialog)) return 0;
  auto messages = dialog.messages();
  if (messages.empty()) return 0;
  return frame_.queueMessages(std::move(messages), false);
}

int SendDialogs::sendList() {
  SendListDlg dialog;
  if (!run(dialog)) return 0;
  const ParsedSendList parsed = parseSendList(dialog.listText());
  if (!parsed.rejectedLines.empty()) {
    Logger::log(2, formatText(u"Send over a list: %d lines are not sent",
                              {static_cast<int>(parsed.rejectedLines.size())}));
    host_.warning(nullptr, QString::fromStdU16String(loadString(text::kWarning)),
                  rejectedLinesText(parsed.rejectedLines));
  }
  if (parsed.entries.empty()) return 0;
  return frame_.queueMessages(
      buildListMessages(parsed.entries, settings_.getInt("status_reports") != 0,
                        settings_.getInt("convert_to_ascii") != 0),
      true);
}

int SendDialogs::sendUssd() {
  USSDSendDlg dialog;
  if (!run(dialog) || dialog.command().empty()) return 0;
  auto request = std::make_unique<USSDRequest>(u"", u"", dialog.command());
  if (!dialog.replyWanted()) request->flags |= kUssdNoPresentation;
  std::vector<std::unique_ptr<GenericMessage>> messages;
  messages.push_back(std::move(request));
  return frame_.queueMessages(std::move(messages), false);
}

int SendDialogs::viewLastMessage() {
  const auto last = frame_.lastReceived();
  if (!last) return viewMessage(u"", u"", u"", false);
  return viewMessage(last->from, last->url, last->text, true);
}

int SendDialogs::viewMessage(const std::u16string& address, const std::u16string& url,
                             const std::u16string& text, bool replyEnabled) {
  SMSViewDlg dialog(settings_, addressBook_, host_);
  dialog.setMessage(address, url, text);
  dialog.setReplyEnabled(replyEnabled && !address.empty());
  if (!run(dialog) || dialog.address().empty()) return 0;
  return sendSms(QString::fromStdU16String(dialog.address()));
}

}  // namespace parlane
