#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <cstdlib>

#include "MainFrameFixture.h"
#include "RecordingHost.h"
#include "core/util/Utf.h"
#include "ui/dialogs/send/SMSSendDlg.h"
#include "ui/dialogs/send/SMSViewDlg.h"
#include "ui/dialogs/send/SendDialogs.h"
#include "ui/dialogs/send/SendList.h"
#include "ui/dialogs/send/SendListDlg.h"
#include "ui/dialogs/send/USSDSendDlg.h"
#include "ui/mainframe/MenuCommand.h"

namespace parlane {
namespace {

class SendDialogsTest : public testing::Test, public test::MainFrameFixture {
 protected:
  CMainFrame& start() {
    CMainFrame& frame = make(true);
    dialogs = std::make_unique<SendDialogs>(frame, settings, &stores->addressBook(), host);
    dialogs->install();
    return frame;
  }
  std::vector<DatabaseRecord> outbox() { return stores->outbox().selectContaining(0, u"", 0); }

  test::RecordingHost host;
  std::unique_ptr<SendDialogs> dialogs;
};

TEST_F(SendDialogsTest, SendSmsQueuesOneMessagePerRecipient) {
  CMainFrame& frame = start();
  host.onRun = [](QDialog& dialog) {
    auto* send = dynamic_cast<SMSSendDlg*>(&dialog);
    if (send == nullptr) return int(QDialog::Rejected);
    send->recipientsBox()->setEditText("+4917012345, +4917054321, oops");
    send->textEdit()->setPlainText("see you at eight");
    send->accept();
    // Refused: the dialog stays open for the recipients to be put right.
    if (send->result() == QDialog::Accepted) return int(QDialog::Accepted);
    send->recipientsBox()->setEditText("+4917012345, +4917054321");
    send->accept();
    return send->result();
  };
  frame.onCommand(command::kSendSms);
  const auto records = outbox();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0][2], u"4917012345");
  EXPECT_EQ(records[1][5], u"see you at eight");
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0].toStdString(), "Warning: Invalid recipient number 'oops'");

  // Cancel queues nothing.
  host.onRun = [](QDialog&) { return int(QDialog::Rejected); };
  frame.onCommand(command::kSendSms);
  EXPECT_EQ(outbox().size(), 2u);
}

TEST_F(SendDialogsTest, AListQueuesItsGoodLinesAndNamesTheOthers) {
  start();
  host.onRun = [](QDialog& dialog) {
    auto* list = dynamic_cast<SendListDlg*>(&dialog);
    if (list == nullptr) return int(QDialog::Rejected);
    list->listEdit()->setPlainText("+4917012345,Hello, Anna\n\nno comma\n0170 54321,Hi Ben\n");
    list->accept();
    return list->result();
  };
  EXPECT_EQ(dialogs->sendList(), 2);
  const auto records = outbox();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0][5], u"Hello, Anna");
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0].toStdString(),
            "Warning: 2 line(s) of the list are not sent: each line needs a phone number, a comma "
            "and the message.\nLines: 2, 3");
  EXPECT_NE(log().find("Not connected"), std::string::npos);
}

TEST_F(SendDialogsTest, AHundredThousandPastedLinesAreCutAtTheLimitAndQueued) {
  start();
  QString pasted;
  for (int i = 0; i < 100000; ++i) {
    pasted += QString("+49170%1,message number %2\n").arg(1000000 + i).arg(i);
  }
  std::u16string kept;
  host.onRun = [&](QDialog& dialog) {
    auto* list = dynamic_cast<SendListDlg*>(&dialog);
    list->listEdit()->setPlainText(pasted);
    kept = list->listEdit()->toPlainText().toStdU16String();
    list->accept();
    return list->result();
  };
  const int queued = dialogs->sendList();
  EXPECT_EQ(kept.size(), static_cast<std::size_t>(SendListDlg::kMaxListLength));
  const ParsedSendList expected = parseSendList(kept);
  EXPECT_GT(expected.entries.size(), 25000u);
  EXPECT_EQ(static_cast<std::size_t>(queued), expected.entries.size());
  EXPECT_EQ(stores->outbox().count(), expected.entries.size());
  EXPECT_EQ(service->queuedOutgoing(), expected.entries.size());
  // The line the cut went through has no message left, or a shorter one.
  EXPECT_LE(host.warnings.size(), 1u);
}

TEST_F(SendDialogsTest, UssdRequestWithoutReplyPresentation) {
  start();
  host.onRun = [](QDialog& dialog) {
    auto* ussd = dynamic_cast<USSDSendDlg*>(&dialog);
    if (ussd == nullptr) return int(QDialog::Rejected);
    EXPECT_TRUE(ussd->replyBox()->isChecked());
    EXPECT_FALSE(ussd->sendButton()->isEnabled());
    ussd->commandEdit()->setText("*100#");
    EXPECT_TRUE(ussd->sendButton()->isEnabled());
    ussd->replyBox()->setChecked(false);
    ussd->accept();
    return ussd->result();
  };
  EXPECT_EQ(dialogs->sendUssd(), 1);
  const auto records = outbox();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0][3], u"ussd");
  EXPECT_EQ(records[0][5], u"*100#");
  EXPECT_EQ(records[0][8], u"8");
}

TEST_F(SendDialogsTest, ViewLastMessageRepliesToItsSender) {
  CMainFrame& frame = start();
  service->state().setLastReceived({u"+4917012345", u"line one\nline\ttwo", u"example.com", 0});
  int views = 0;
  host.onRun = [&](QDialog& dialog) {
    if (auto* view = dynamic_cast<SMSViewDlg*>(&dialog)) {
      ++views;
      EXPECT_EQ(view->addressEdit()->text().toStdString(), "+4917012345");
      EXPECT_EQ(view->textView()->toPlainText().toStdString(), "line one\nline    two");
      view->openUrlButton()->click();
      return int(QDialog::Accepted);
    }
    auto* send = dynamic_cast<SMSSendDlg*>(&dialog);
    EXPECT_EQ(send->recipientsBox()->currentText().toStdString(), "+4917012345");
    send->textEdit()->setPlainText("thanks");
    send->accept();
    return send->result();
  };
  frame.onCommand(command::kViewLastSms);
  EXPECT_EQ(views, 1);
  ASSERT_EQ(host.opened.size(), 1u);
  EXPECT_EQ(host.opened[0].toString().toStdString(), "http://example.com");
  EXPECT_EQ(outbox().size(), 1u);
}

TEST_F(SendDialogsTest, ASecondCommandWhileADialogIsOpenOpensNoSecondDialog) {
  CMainFrame& frame = start();
  int runs = 0;
  host.onRun = [&](QDialog&) {
    ++runs;
    frame.onCommand(command::kSendUssd);
    frame.onCommand(command::kSendSms);
    return int(QDialog::Rejected);
  };
  frame.onCommand(command::kSendSms);
  EXPECT_EQ(runs, 1);
  frame.onCommand(command::kSendList);
  EXPECT_EQ(runs, 2) << "one opens again once the first is closed";
}

TEST(SMSViewDlg, OnlyWebAddressesAreOpened) {
  test::offscreenApp();
  SettingsStore settings;
  test::RecordingHost host;
  SMSViewDlg view(settings, nullptr, host);
  EXPECT_EQ(SMSViewDlg::displayText(u"a\nb\tc\r\n"), u"a\r\nb    c\r\r\n");
  view.setMessage(u"+4917012345", u"", u"no link");
  EXPECT_FALSE(view.openUrlButton()->isEnabled());
  EXPECT_FALSE(view.addContactButton()->isEnabled());

  view.setMessage(u"+4917012345", u"file:///etc/passwd", u"");
  view.openUrlButton()->click();
  EXPECT_TRUE(host.opened.empty());
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0].toStdString(),
            "Warning: 'file:///etc/passwd' is not a web address and is not opened.");

  host.browserWorks = false;
  view.setMessage(u"+4917012345", u"https://example.com/a?b=c", u"");
  view.openUrlButton()->click();
  ASSERT_EQ(host.opened.size(), 1u);
  EXPECT_EQ(host.warnings.back().toStdString(),
            "Warning: No browser could open https://example.com/a?b=c.");
}

TEST(SMSViewDlg, NoReplyToASenderThatIsNoPhoneNumber) {
  test::offscreenApp();
  SettingsStore settings;
  test::RecordingHost host;
  for (const char16_t* sender : {u"MyBank", u"+4917012345"}) {
    SMSViewDlg view(settings, nullptr, host);
    view.setMessage(sender, u"", u"your statement");
    view.setReplyEnabled(true);
    QPushButton* reply = nullptr;
    for (QPushButton* b : view.findChildren<QPushButton*>()) {
      if (b->text() == QStringLiteral("Reply")) reply = b;
    }
    ASSERT_NE(reply, nullptr);
    const bool number = sender[0] == u'+';
    EXPECT_EQ(reply->isEnabled(), number) << toUtf8(sender);
    EXPECT_EQ(reply->toolTip().isEmpty(), number) << toUtf8(sender);
  }
}

// A send-later or expiry time set in the dialog reaches the outbox with every message; a time
// already past, or an expiry before the sending time, is refused and the dialog keeps the text.
struct ScheduleCase {
  const char* name;
  int laterMinutes;  // from now; 0: unchecked
  int expiresMinutes;
  const char* refusal;  // empty when the messages are queued
};

class SendLaterTest : public SendDialogsTest, public testing::WithParamInterface<ScheduleCase> {};

TEST_P(SendLaterTest, TimesReachTheOutboxOrAreRefused) {
  const ScheduleCase& param = GetParam();
  CMainFrame& frame = start();
  // Whole minutes: the editors show no seconds.
  QDateTime now = QDateTime::currentDateTime();
  now.setTime(QTime(now.time().hour(), now.time().minute()));
  const QDateTime later = now.addSecs(param.laterMinutes * 60);
  const QDateTime expires = now.addSecs(param.expiresMinutes * 60);
  QString textAfterRefusal;
  host.onRun = [&](QDialog& dialog) {
    auto* send = dynamic_cast<SMSSendDlg*>(&dialog);
    if (send == nullptr) return int(QDialog::Rejected);
    EXPECT_FALSE(send->laterEdit()->isEnabled());
    EXPECT_FALSE(send->expiresEdit()->isEnabled());
    EXPECT_LT(std::abs(send->laterEdit()->dateTime().secsTo(now.addSecs(3600))), 120)
        << "an hour from now unless changed";
    send->recipientsBox()->setEditText("+4917012345, +4917054321");
    send->textEdit()->setPlainText("see you at eight");
    if (param.laterMinutes != 0) {
      send->laterBox()->click();
      EXPECT_TRUE(send->laterEdit()->isEnabled());
      send->laterEdit()->setDateTime(later);
    }
    if (param.expiresMinutes != 0) {
      send->expiresBox()->click();
      send->expiresEdit()->setDateTime(expires);
    }
    send->accept();
    textAfterRefusal = send->textEdit()->toPlainText();
    return send->result();
  };
  frame.onCommand(command::kSendSms);
  const auto records = outbox();
  if (*param.refusal != '\0') {
    EXPECT_TRUE(records.empty());
    ASSERT_EQ(host.warnings.size(), 1u);
    EXPECT_EQ(host.warnings[0].toStdString(),
              QString::fromUtf8(param.refusal)
                  .replace("{later}", later.toString("yyyy-MM-dd HH:mm"))
                  .replace("{expires}", expires.toString("yyyy-MM-dd HH:mm"))
                  .toStdString());
    EXPECT_EQ(textAfterRefusal.toStdString(), "see you at eight");
    return;
  }
  EXPECT_TRUE(host.warnings.empty());
  ASSERT_EQ(records.size(), 2u);
  const auto seconds = [](int minutes, const QDateTime& time) {
    return minutes == 0 ? std::u16string() : fromUtf8(std::to_string(time.toSecsSinceEpoch()));
  };
  for (const DatabaseRecord& record : records) {
    EXPECT_EQ(record[14], seconds(param.laterMinutes, later)) << "notbefore";
    EXPECT_EQ(record[15], seconds(param.expiresMinutes, expires)) << "expires";
  }
}

INSTANTIATE_TEST_SUITE_P(
    SendDialogs, SendLaterTest,
    testing::Values(ScheduleCase{"Unchecked", 0, 0, ""}, ScheduleCase{"LaterOnly", 120, 0, ""},
                    ScheduleCase{"ExpiresOnly", 0, 90, ""},
                    ScheduleCase{"LaterAndExpires", 60, 180, ""},
                    ScheduleCase{"LaterInThePast", -60, 0,
                                 "Warning: The time to send at, {later}, is past already."},
                    ScheduleCase{"ExpiresInThePast", 0, -5,
                                 "Warning: The expiry time, {expires}, is past already."},
                    ScheduleCase{"ExpiresBeforeLater", 120, 60,
                                 "Warning: The message would expire before it may be sent."}),
    [](const testing::TestParamInfo<ScheduleCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane
