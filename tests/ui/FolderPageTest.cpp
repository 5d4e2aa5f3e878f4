#include <gtest/gtest.h>

#include <QPushButton>
#include <QTableView>
#include <string>

#include "ControlFixture.h"
#include "support/FolderOnDisk.h"
#include "ui/dialogs/control/FolderControlDlg.h"
#include "ui/dialogs/control/FolderModel.h"

namespace parlane {
namespace {

class FolderPageTest : public testing::Test, public test::ControlFixture {
 protected:
  std::u16string field(StoreKind folder, const std::u16string& key, std::u16string_view column) {
    DatabaseRecord record;
    if (!stores->store(folder).get(key, record)) return u"<gone>";
    return record[static_cast<std::size_t>(columnIndex(folder, column))];
  }
};

TEST_F(FolderPageTest, EachFolderHasItsColumnsAndButtons) {
  ControlDlg& dlg = panel();
  struct Expected {
    ControlDlg::Page page;
    std::vector<std::string> columns;
    std::vector<std::string> buttons;
  };
  const Expected cases[] = {
      {ControlDlg::Inbox,
       {"Date", "Sender", "Content", "Handled"},
       {"Open", "Reply", "Handle", "Delete", "Flush", "Export..."}},
      {ControlDlg::Outbox,
       {"Date", "Destination", "Content", "URL"},
       {"Open", "Delete", "Flush", "Export..."}},
      {ControlDlg::Sent,
       {"Date", "Destination", "Content", "URL", "Delivered"},
       {"Open", "Resend", "Delete", "Flush", "Export..."}},
      {ControlDlg::Failed,
       {"Date", "Destination", "Content", "URL"},
       {"Open", "Delete", "Flush", "Export..."}},
  };
  for (const Expected& expected : cases) {
    SCOPED_TRACE(expected.page);
    FolderControlDlg& page = dlg.folderPage(expected.page);
    std::vector<std::string> columns;
    for (int i = 0; i < page.model().columnCount(); ++i) {
      columns.push_back(page.model().headerData(i, Qt::Horizontal).toString().toStdString());
    }
    EXPECT_EQ(columns, expected.columns);
    std::vector<std::string> buttons;
    for (QPushButton* button : page.findChildren<QPushButton*>()) {
      buttons.push_back(button->text().toStdString());
    }
    EXPECT_EQ(buttons, expected.buttons);
  }
}

TEST_F(FolderPageTest, DeleteAsksAndRemovesTheSelectedRecords) {
  const std::u16string a = put(StoreKind::Inbox, u"+4917011", u"first");
  const std::u16string b = put(StoreKind::Inbox, u"+4917022", u"second");
  const std::u16string c = put(StoreKind::Inbox, u"+4917033", u"third");
  ControlDlg& dlg = panel();
  FolderControlDlg& page = dlg.folderPage(ControlDlg::Inbox);
  page.selectKeys({a, c});

  yes = false;
  page.button(FolderControlDlg::Delete)->click();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].first, "Delete SMS");
  EXPECT_EQ(questions[0].second, "You are about to delete the SMS.\nPlease confirm your choice.");
  EXPECT_EQ(stores->inbox().count(), 3u);

  yes = true;
  page.button(FolderControlDlg::Delete)->click();
  EXPECT_EQ(stores->inbox().keys(), std::vector<std::u16string>{b});
  EXPECT_EQ(page.model().rowCount(), 1);
  const std::string file = folderOnDisk(dir, "inbox.txt");
  EXPECT_EQ(file.find("first"), std::string::npos);
  EXPECT_NE(file.find("second"), std::string::npos);
}

TEST_F(FolderPageTest, FlushAsksAndEmptiesTheFolder) {
  put(StoreKind::Failed, u"+4917011", u"one");
  put(StoreKind::Failed, u"+4917022", u"two");
  ControlDlg& dlg = panel();
  FolderControlDlg& page = dlg.folderPage(ControlDlg::Failed);
  page.button(FolderControlDlg::Flush)->click();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].second, "All SMS in this folder will be lost!\nAre you sure?");
  EXPECT_EQ(stores->failed().count(), 0u);
  EXPECT_EQ(page.model().rowCount(), 0);
  EXPECT_EQ(dir.read("failed.txt"), "");
}

TEST_F(FolderPageTest, HandleMarksTheSelectedMessagesHandled) {
  const std::u16string a = put(StoreKind::Inbox, u"+4917011", u"first");
  ControlDlg& dlg = panel();
  FolderControlDlg& page = dlg.folderPage(ControlDlg::Inbox);
  EXPECT_EQ(page.model().index(0, 3).data().toString().toStdString(), "no");
  page.selectKeys({a});
  page.button(FolderControlDlg::Handle)->click();
  EXPECT_EQ(field(StoreKind::Inbox, a, u"handled"), u"1");
  EXPECT_EQ(page.model().index(0, 3).data().toString().toStdString(), "yes");
}

// "Reply" to a sender that is a name (a bank's) is disabled, and the tool tip says why.
TEST_F(FolderPageTest, ReplyOnlyToASenderThatIsAPhoneNumber) {
  const std::u16string bank = put(StoreKind::Inbox, u"MyBank", u"your statement");
  const std::u16string person = put(StoreKind::Inbox, u"+4917011", u"call me");
  ControlHooks hooks = recordingHooks();
  std::vector<std::u16string> replies;
  hooks.reply = [&](const std::u16string& to) { replies.push_back(to); };
  ControlDlg dlg(ControlParts{settings, *stores, *channel, nullptr, hooks});
  dlg.present(ControlDlg::Inbox);
  FolderControlDlg& page = dlg.folderPage(ControlDlg::Inbox);
  QPushButton* reply = page.button(FolderControlDlg::Reply);
  page.selectKeys({bank});
  EXPECT_FALSE(reply->isEnabled());
  EXPECT_EQ(reply->toolTip().toStdString(), "'MyBank' is no phone number: a reply can't reach it");
  page.selectKeys({person});
  EXPECT_TRUE(reply->isEnabled());
  EXPECT_TRUE(reply->toolTip().isEmpty());
  reply->click();
  EXPECT_EQ(replies, std::vector<std::u16string>{u"+4917011"});
}

// "Resend" puts the message back into the outbox and queues it; the sent folder no longer
// holds it.
TEST_F(FolderPageTest, ResendMovesTheMessageBackToTheOutbox) {
  startGateway();
  const std::u16string sent = put(StoreKind::Sent, u"+4917012345", u"see you at 8");
  const std::u16string kept = put(StoreKind::Sent, u"+4917099999", u"stays");
  ControlDlg& dlg = panel();
  FolderControlDlg& page = dlg.folderPage(ControlDlg::Sent);
  page.selectKeys({sent});
  page.button(FolderControlDlg::Resend)->click();
  EXPECT_EQ(stores->sent().keys(), std::vector<std::u16string>{kept});
  const std::vector<std::u16string> outbox = stores->outbox().keys();
  ASSERT_EQ(outbox.size(), 1u);
  EXPECT_EQ(field(StoreKind::Outbox, outbox[0], u"to"), u"+4917012345");
  EXPECT_EQ(field(StoreKind::Outbox, outbox[0], u"content"), u"see you at 8");
  EXPECT_EQ(field(StoreKind::Outbox, outbox[0], u"attempts"), u"0");
  EXPECT_EQ(service->queuedOutgoing(), 1u);
  EXPECT_NE(folderOnDisk(dir, "outbox.txt").find("see you at 8"), std::string::npos);
  EXPECT_EQ(folderOnDisk(dir, "sent.txt").find("see you at 8"), std::string::npos);
}

TEST_F(FolderPageTest, OpenTellsWhenTheRecordIsGone) {
  const std::u16string a = put(StoreKind::Outbox, u"+4917011", u"first");
  ControlDlg& dlg = panel();
  FolderControlDlg& page = dlg.folderPage(ControlDlg::Outbox);
  page.selectKeys({a});
  // Sent meanwhile by the service thread.
  stores->outbox().remove(a);
  page.openSelected();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0], "SMS " + toUtf8(a) + " not found!");
}

// Export writes the folder in the code page of "export.encoding".
TEST_F(FolderPageTest, ExportWritesTheChosenEncoding) {
  put(StoreKind::Inbox, u"+4917011", u"Grüße aus dem Café\r\nbis bald");
  ControlDlg& dlg = panel();
  FolderControlDlg& page = dlg.folderPage(ControlDlg::Inbox);
  struct Case {
    int codePage;
    std::string text;
  };
  const Case cases[] = {
      {65001,
       "Gr\xC3\xBC\xC3\x9F"
       "e aus dem Caf\xC3\xA9  bis bald"},
      {1252,
       "Gr\xFC\xDF"
       "e aus dem Caf\xE9  bis bald"},
      {850,
       "Gr\x81\xE1"
       "e aus dem Caf\x82  bis bald"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    settings.setInt("export.encoding", c.codePage);
    exportPath = dir.file("export-" + std::to_string(c.codePage) + ".txt");
    page.button(FolderControlDlg::Export)->click();
    const std::string written = dir.read("export-" + std::to_string(c.codePage) + ".txt");
    EXPECT_EQ(written.rfind("Date\tSender\tContent\tHandled\r\n", 0), 0u) << written;
    EXPECT_NE(written.find("\t+4917011\t" + c.text + "\tno\r\n"), std::string::npos) << written;
  }
  EXPECT_TRUE(told.empty());

  exportPath = dir.file("no-such-folder/export.txt");
  page.button(FolderControlDlg::Export)->click();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("no-such-folder/export.txt"), std::string::npos);
}

}  // namespace
}  // namespace parlane
