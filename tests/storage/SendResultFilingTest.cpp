#include <gtest/gtest.h>

#include "StoresFixture.h"
#include "storage/MessageRecords.h"
#include "storage/SendResultFiling.h"
#include "transport/message/SMSMessage.h"

namespace parlane::test {
namespace {

// Queues a message in the outbox as the main window does; returns its outbox id.
std::u16string queue(MessageStores& stores, const SMSMessage& message) {
  const std::u16string id = stores.outbox().NewIdText();
  stores.outbox().Put(OutgoingRecord(message, StoreKind::Outbox, id));
  EXPECT_EQ(stores.outbox().Save(), 0);
  return id;
}

// Takes the record out of the outbox and rebuilds the message, as the dispatcher does.
std::unique_ptr<GenericMessage> take(MessageStores& stores, const std::u16string& id,
                                     int& attemptsInRecord) {
  DatabaseRecord record;
  EXPECT_TRUE(stores.outbox().Get(id, record));
  attemptsInRecord = SettingsStore::parseInt(record[10]);
  stores.outbox().Remove(id);
  EXPECT_EQ(stores.outbox().Save(), 0);
  return messageFromRecord(record, StoreKind::Outbox);
}

TEST(SendResultFiling, AlwaysFailingMessageIsRetriedThenFailed) {
  StoresFixture f;
  ASSERT_TRUE(f.stores->open());
  std::u16string id = queue(*f.stores, SMSMessage(u"", u"+4917012345", u"hello", 500));

  std::vector<int> attemptsSeen;
  std::vector<SendOutcome> outcomes;
  for (int round = 0; round < 10; ++round) {
    int attempts = -1;
    auto message = take(*f.stores, id, attempts);
    ASSERT_NE(message, nullptr);
    attemptsSeen.push_back(attempts);
    const SendFiling filing = fileSendResult(*message, false, 3, f.stores->outbox(),
                                             f.stores->sent(), f.stores->failed());
    EXPECT_EQ(filing.saved, 0);
    outcomes.push_back(filing.outcome);
    if (filing.outcome != SendOutcome::Requeued) break;
    id = filing.id;
  }
  EXPECT_EQ(attemptsSeen, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(outcomes, (std::vector<SendOutcome>{SendOutcome::Requeued, SendOutcome::Requeued,
                                                SendOutcome::Requeued, SendOutcome::Failed}));
  EXPECT_EQ(f.stores->outbox().Count(), 0u);
  ASSERT_EQ(f.stores->failed().Count(), 1u);
  DatabaseRecord failed;
  ASSERT_TRUE(f.stores->failed().FindFirst(9, u"500", failed));
  EXPECT_EQ(failed[2], u"+4917012345");
  EXPECT_EQ(failed[5], u"hello");

  // What is on disk says the same.
  f.stores.reset();
  MessageStores reopened(f.settings, f.dir.path(), 0);
  ASSERT_TRUE(reopened.open());
  EXPECT_EQ(reopened.outbox().Count(), 0u);
  EXPECT_EQ(reopened.failed().Count(), 1u);
}

TEST(SendResultFiling, NoRetriesFailsAtOnce) {
  StoresFixture f;
  ASSERT_TRUE(f.stores->open());
  SMSMessage message(u"", u"+4917012345", u"hello", 1);
  EXPECT_EQ(
      fileSendResult(message, false, 0, f.stores->outbox(), f.stores->sent(), f.stores->failed())
          .outcome,
      SendOutcome::Failed);
  EXPECT_EQ(f.stores->failed().Count(), 1u);
}

TEST(SendResultFiling, SuccessGoesToSentWithTheReference) {
  StoresFixture f;
  ASSERT_TRUE(f.stores->open());
  SMSMessage message(u"", u"+4917012345", u"hello", 42);
  message.refid = 7;
  const SendFiling filing =
      fileSendResult(message, true, 3, f.stores->outbox(), f.stores->sent(), f.stores->failed());
  EXPECT_EQ(filing.outcome, SendOutcome::Sent);
  DatabaseRecord record;
  ASSERT_TRUE(f.stores->sent().Get(filing.id, record));
  EXPECT_EQ(record[10], u"7");
  EXPECT_EQ(record[9], u"42");
  EXPECT_NE(f.dir.read("sent.txt").find("\t7\t"), std::string::npos);
}

}  // namespace
}  // namespace parlane::test
