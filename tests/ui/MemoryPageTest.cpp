#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTreeWidget>

#include "ControlFixture.h"
#include "core/util/TimeFormat.h"
#include "ui/dialogs/control/MemoryControlDlg.h"
#include "ui/mainframe/MenuCommand.h"

namespace parlane {
namespace {

class MemoryPageTest : public testing::Test, public test::ControlFixture {
 protected:
  // Listings written to the modem so far.
  std::size_t listings() {
    const std::string log = dir.read("log.txt");
    std::size_t count = 0;
    for (std::size_t at = log.find("AT+CMGL="); at != std::string::npos;
         at = log.find("AT+CMGL=", at + 1)) {
      ++count;
    }
    return count;
  }
  QPushButton* button(MemoryControlDlg& page, const char* label) {
    for (QPushButton* b : page.findChildren<QPushButton*>()) {
      if (b->text() == QString::fromUtf8(label)) return b;
    }
    return nullptr;
  }
};

// The page on its own: what a listing found shows, "Delete" and "Flush" ask and pass the storage
// indexes on.
TEST_F(MemoryPageTest, ListsWhatTheListingFoundAndDeletesByStorageIndex) {
  std::vector<std::u16string> listed;
  std::vector<std::vector<int>> deleted;
  int flushed = 0;
  std::vector<FoundMessage> found;

  ControlHooks hooks = recordingHooks();
  hooks.readMemory = [&](const std::u16string& memory) {
    listed.push_back(memory);
    return true;
  };
  hooks.takeMemoryMessages = [&] { return std::exchange(found, {}); };
  hooks.deleteFromMemory = [&](const std::vector<int>& indexes) { deleted.push_back(indexes); };
  hooks.flushMemory = [&] { ++flushed; };
  ControlDlg dlg(ControlParts{settings, *stores, *channel, nullptr, hooks});
  dlg.present(ControlDlg::Memory);
  MemoryControlDlg& page = dlg.memoryPage();

  page.memoryType().setEditText("ME");
  button(page, "Refresh")->click();
  EXPECT_EQ(listed, std::vector<std::u16string>{u"ME"});
  EXPECT_EQ(toUtf8(settings.getString("receiver.memory")), "ME");
  // The listing's messages come in meanwhile.
  auto message = std::make_unique<SMSMessage>(u"", u"", u"in memory\nsecond line");
  message->source = u"+4917055";
  message->timestamp = 1700000000;
  message->memorySlots = {{3}, {4}};
  found.push_back({std::move(message), false});
  page.collect();
  ASSERT_EQ(page.list().topLevelItemCount(), 1);
  QTreeWidgetItem* item = page.list().topLevelItem(0);
  EXPECT_EQ(item->text(0).toStdU16String(), formatDisplayTime(1700000000));
  EXPECT_EQ(item->text(1).toStdString(), "+4917055");
  EXPECT_EQ(item->text(2).toStdString(), "in memory second line");

  page.list().setCurrentItem(item);
  item->setSelected(true);
  button(page, "Delete")->click();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(deleted, (std::vector<std::vector<int>>{{3, 4}}));
  EXPECT_EQ(page.list().topLevelItemCount(), 0);

  yes = false;
  button(page, "Flush")->click();
  EXPECT_EQ(flushed, 0);
  yes = true;
  button(page, "Flush")->click();
  EXPECT_EQ(flushed, 1);
}

// Unread messages carry the mark; the buttons that act on a row wait for one to be selected;
// the columns are as wide as what they show.
TEST_F(MemoryPageTest, UnreadMessagesAreMarkedAndRowButtonsFollowTheSelection) {
  std::vector<FoundMessage> found;
  ControlHooks hooks = recordingHooks();
  hooks.readMemory = [](const std::u16string&) { return true; };
  hooks.takeMemoryMessages = [&] { return std::exchange(found, {}); };
  hooks.openMessage = [](StoreKind, const DatabaseRecord&) {};
  hooks.reply = [](const std::u16string&) {};
  hooks.deleteFromMemory = [](const std::vector<int>&) {};
  ControlDlg dlg(ControlParts{settings, *stores, *channel, nullptr, hooks});
  dlg.present(ControlDlg::Memory);
  MemoryControlDlg& page = dlg.memoryPage();
  for (bool unread : {false, true}) {
    auto message = std::make_unique<SMSMessage>(u"", u"", unread ? u"new one" : u"seen before");
    message->source = u"+4917055";
    message->timestamp = 1700000000;
    found.push_back({std::move(message), unread});
  }
  page.collect();
  test::processQueued();
  ASSERT_EQ(page.list().topLevelItemCount(), 2);
  EXPECT_EQ(page.list().topLevelItem(0)->text(MemoryControlDlg::kUnreadColumn).toStdString(), "");
  EXPECT_EQ(page.list().topLevelItem(1)->text(MemoryControlDlg::kUnreadColumn).toStdString(),
            "Unread");
  for (int column : {0, 1, MemoryControlDlg::kUnreadColumn}) {
    for (int row = 0; row < 2; ++row) {
      const QTreeWidgetItem* item = page.list().topLevelItem(row);
      EXPECT_GE(page.list().columnWidth(column),
                QFontMetrics(item->font(column)).horizontalAdvance(item->text(column)))
          << "column " << column << " row " << row;
    }
  }

  const auto enabled = [&] {
    return std::vector<bool>{button(page, "Open")->isEnabled(), button(page, "Reply")->isEnabled(),
                             button(page, "Delete")->isEnabled()};
  };
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false}));
  page.list().setCurrentItem(page.list().topLevelItem(1));
  EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true}));
  page.list().clearSelection();
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false}));
}

// Through the main window and the service thread: no listing while disconnected; once connected
// the listing goes to the modem and the memory-reading state is free again when it ends.
TEST_F(MemoryPageTest, RefreshListsTheModemMemoryOnceConnected) {
  CMainFrame& window = startGateway();
  ControlPanel& host = installPanel([this](ControlHooks& hooks) {
    hooks.tell = [this](const QString&, const QString& text) {
      told.push_back(text.toStdString());
    };
  });
  host.open(ControlDlg::Memory);
  MemoryControlDlg& page = host.dialog()->memoryPage();
  button(page, "Refresh")->click();
  EXPECT_EQ(told, std::vector<std::string>{"Can't read modem memory"});

  window.onCommand(command::kConnect);
  ASSERT_TRUE(test::eventuallyProcessing(
      [&] { return window.title() == QStringLiteral("Parlane (connected to ttyEMU)"); }));
  // The listing after connecting has been written and its cycle has ended.
  ASSERT_TRUE(test::eventuallyProcessing(
      [&] { return listings() > 0 && service->state().memoryReadingState() == 0; }));
  const std::size_t before = listings();
  page.memoryType().setEditText("SM");
  button(page, "Refresh")->click();
  EXPECT_EQ(told.size(), 1u);
  EXPECT_FALSE(service->readModemMemory(u"SM")) << "one listing at a time";
  EXPECT_TRUE(
      test::eventuallyProcessing([&] { return service->state().memoryReadingState() == 0; }));
  EXPECT_TRUE(test::eventuallyProcessing([&] { return listings() == before + 1; }));
}

// Refresh while a polling cycle holds the memory (its listing done, its end not yet come): it is
// not refused; the page's listing follows as soon as that cycle ends.
TEST_F(MemoryPageTest, RefreshWhileACycleHoldsTheMemoryFollowsIt) {
  CMainFrame& window = startGateway();
  ControlPanel& host = installPanel([this](ControlHooks& hooks) {
    hooks.tell = [this](const QString&, const QString& text) {
      told.push_back(text.toStdString());
    };
  });
  host.open(ControlDlg::Memory);
  MemoryControlDlg& page = host.dialog()->memoryPage();
  window.onCommand(command::kConnect);
  ASSERT_TRUE(test::eventuallyProcessing([&] {
    return window.title() == QStringLiteral("Parlane (connected to ttyEMU)") && listings() > 0 &&
           service->state().memoryReadingState() == 0;
  }));
  // A cycle whose listing has ended and whose end is still to come.
  service->state().setMemoryReadingState(8);
  const std::size_t before = listings();
  button(page, "Refresh")->click();
  EXPECT_TRUE(told.empty());
  test::processQueued();
  EXPECT_EQ(listings(), before) << "the cycle still holds the memory";
  service->scheduler().add(ServiceScheduler::kPollingCycleEnd, 10, true);
  ASSERT_TRUE(test::eventuallyProcessing([&] { return listings() == before + 1; }));
  EXPECT_TRUE(
      test::eventuallyProcessing([&] { return service->state().memoryReadingState() == 0; }));
  EXPECT_TRUE(told.empty());
}

}  // namespace
}  // namespace parlane
