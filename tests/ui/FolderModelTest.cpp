#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <atomic>
#include <random>
#include <thread>

#include "ControlFixture.h"
#include "core/util/TimeFormat.h"
#include "message/MessageFlags.h"
#include "storage/ContentEscaping.h"
#include "ui/dialogs/control/FolderModel.h"

namespace parlane {
namespace {

class FolderModelTest : public testing::Test, public test::ControlFixture {};

TEST_F(FolderModelTest, CellsShowTheRecordsInTheFormsOfTheirColumns) {
  const std::u16string id = put(StoreKind::Sent, u"+4917012345", u"line one\r\nline two");
  DatabaseRecord record;
  ASSERT_TRUE(stores->sent().get(id, record));
  record[1] = u"1700000000";
  // A report was asked for and has not come.
  record[static_cast<std::size_t>(columnIndex(StoreKind::Sent, u"flags"))] = u"4";
  stores->sent().put(record);
  FolderModel model(stores->sent(), StoreKind::Sent);
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.index(0, 0).data().toString().toStdU16String(), formatDisplayTime(1700000000));
  EXPECT_EQ(model.index(0, 1).data().toString().toStdString(), "+4917012345");
  EXPECT_EQ(model.index(0, 2).data().toString().toStdString(), "line one  line two");
  EXPECT_EQ(model.index(0, 2).data(Qt::ToolTipRole).toString().toStdString(),
            "line one\r\nline two");
  EXPECT_EQ(model.index(0, 4).data().toString().toStdString(), "no");

  record[static_cast<std::size_t>(columnIndex(StoreKind::Sent, u"flags"))] = u"20";
  stores->sent().put(record);
  EXPECT_TRUE(model.refresh());
  EXPECT_EQ(model.index(0, 4).data().toString().toStdString(), "yes");
  EXPECT_FALSE(model.refresh()) << "nothing changed since";
}

// The list follows a folder that another thread changes: rows go and come without a reset,
// the selection stays on its records, and once the writer stops the rows are the folder's.
TEST_F(FolderModelTest, FollowsAFolderChangedByAnotherThread) {
  FileDatabase& inbox = stores->inbox();
  std::vector<std::u16string> initial;
  for (int i = 0; i < 400; ++i) initial.push_back(put(StoreKind::Inbox, u"+49170", u"text"));
  FolderModel model(inbox, StoreKind::Inbox);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  QItemSelectionModel selection(&model);
  const std::u16string chosen = initial[300];
  selection.select(model.index(model.rowOf(chosen), 0),
                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
  int resets = 0;
  QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });

  std::atomic<bool> done{false};
  std::thread writer([&] {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
      // New messages arrive, old ones (never the chosen one) are deleted.
      SMSMessage message(u"", u"+49171", u"new");
      message.source = u"+49171";
      inbox.put(incomingRecord(message, false, inbox.newIdText()));
      const std::u16string old = initial[random() % 300];
      inbox.remove(old);
      if (round % 50 == 0) inbox.save();
    }
    done = true;
  });
  while (!done) {
    model.refresh();
    for (int row = 0; row < model.rowCount(); row += 37) {
      // A row whose record just went shows empty until the next look.
      (void)model.index(row, 2).data();
    }
  }
  writer.join();
  model.refresh();
  test::processQueued();
  EXPECT_EQ(model.rowCount(), static_cast<int>(inbox.count()));
  const std::vector<std::u16string> keys = inbox.keys();
  for (int row = 0; row < model.rowCount(); ++row) {
    ASSERT_EQ(model.keyAt(row), keys[static_cast<std::size_t>(row)]) << row;
  }
  const QModelIndexList selected = selection.selectedRows();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(model.keyAt(selected[0].row()), chosen);
  EXPECT_EQ(model.index(model.rowCount() - 1, 1).data().toString().toStdString(), "+49171");
  EXPECT_EQ(resets, 0);
}

TEST_F(FolderModelTest, ARecordGoneBeforeTheNextLookShowsEmptyAndTheRowGoesAway) {
  const std::u16string a = put(StoreKind::Outbox, u"+4917011", u"first");
  const std::u16string b = put(StoreKind::Outbox, u"+4917022", u"second");
  FolderModel model(stores->outbox(), StoreKind::Outbox);
  stores->outbox().remove(a);
  EXPECT_FALSE(model.index(0, 1).data().isValid());
  test::processQueued();
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.keyAt(0), b);
}

}  // namespace
}  // namespace parlane
