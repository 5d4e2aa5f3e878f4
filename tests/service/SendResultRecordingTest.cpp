#include <gtest/gtest.h>

#include <filesystem>

#include "message/SMSMessage.h"
#include "service/SendResultRecording.h"
#include "storage/MessageRecords.h"
#include "storage/StoresFixture.h"

namespace parlane::test {
namespace {

class SendResultRecordingTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(f.stores->open()); }

  // Queues a message as the send path does; returns its outbox id.
  std::u16string queue(const SMSMessage& message) {
    const std::u16string id = outbox().newIdText();
    outbox().put(outgoingRecord(message, StoreKind::Outbox, id));
    EXPECT_EQ(outbox().save(), 0);
    return id;
  }
  // The message the dispatcher rebuilds from the record; the record stays.
  std::unique_ptr<GenericMessage> dispatched(const std::u16string& id) {
    DatabaseRecord record;
    EXPECT_TRUE(outbox().get(id, record));
    return messageFromRecord(record, StoreKind::Outbox);
  }
  SendRecording record(const GenericMessage& message, bool sent, int retries,
                       const std::u16string& id) {
    return recordSendResult(message, sent, retries, id, outbox(), f.stores->sent(),
                            f.stores->failed());
  }
  FileDatabase& outbox() { return f.stores->outbox(); }

  StoresFixture f;
};

TEST_F(SendResultRecordingTest, FailuresReplaceTheOutboxRecordUntilTheRetriesAreUsedUp) {
  std::u16string id = queue(SMSMessage(u"", u"+4917012345", u"hello", 500));
  std::vector<int> attempts;
  std::vector<SendOutcome> outcomes;
  for (int round = 0; round < 10; ++round) {
    auto message = dispatched(id);
    ASSERT_NE(message, nullptr);
    attempts.push_back(message->attempts);
    const SendRecording recording = record(*message, false, 3, id);
    EXPECT_TRUE(recording.saved);
    outcomes.push_back(recording.outcome);
    if (recording.outcome != SendOutcome::Requeued) break;
    // One record at every moment: the retry replaced the attempt.
    EXPECT_EQ(outbox().count(), 1u);
    id = recording.id;
  }
  EXPECT_EQ(attempts, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(outcomes, (std::vector<SendOutcome>{SendOutcome::Requeued, SendOutcome::Requeued,
                                                SendOutcome::Requeued, SendOutcome::Failed}));
  EXPECT_EQ(outbox().count(), 0u);
  ASSERT_EQ(f.stores->failed().count(), 1u);
  DatabaseRecord failed;
  ASSERT_TRUE(f.stores->failed().findFirst(9, u"500", failed));
  EXPECT_EQ(failed[5], u"hello");
  // The files say the same.
  f.stores.reset();
  MessageStores reopened(f.settings, f.dir.path(), 0);
  ASSERT_TRUE(reopened.open());
  EXPECT_EQ(reopened.outbox().count(), 0u);
  EXPECT_EQ(reopened.failed().count(), 1u);
}

TEST_F(SendResultRecordingTest, NoRetriesFailsAtOnce) {
  const std::u16string id = queue(SMSMessage(u"", u"+4917012345", u"once", 503));
  const SendRecording recording = record(*dispatched(id), false, 0, id);
  EXPECT_EQ(recording.outcome, SendOutcome::Failed);
  EXPECT_EQ(outbox().count(), 0u);
  EXPECT_EQ(f.stores->failed().count(), 1u);
}

TEST_F(SendResultRecordingTest, SuccessMovesTheRecordToSentWithItsReference) {
  const std::u16string id = queue(SMSMessage(u"", u"+4917012345", u"sent one", 501));
  auto message = dispatched(id);
  message->refid = 17;
  const SendRecording recording = record(*message, true, 3, id);
  EXPECT_EQ(recording.outcome, SendOutcome::Sent);
  EXPECT_EQ(outbox().count(), 0u);
  DatabaseRecord sent;
  ASSERT_TRUE(f.stores->sent().get(recording.id, sent));
  EXPECT_EQ(sent[10], u"17");
  EXPECT_EQ(sent[9], u"501");
}

TEST_F(SendResultRecordingTest, LateSuccessOfAMessageFiledAsFailedMovesItToSent) {
  // No retries: the send's time-out filed it as failed, then its result came after all.
  const std::u16string id = queue(SMSMessage(u"", u"+4917012345", u"late", 504));
  auto message = dispatched(id);
  ASSERT_EQ(record(*message, false, 0, id).outcome, SendOutcome::Failed);
  ASSERT_EQ(f.stores->failed().count(), 1u);
  message->refid = 9;
  const SendRecording recording = recordSendResult(*message, true, 0, std::nullopt, outbox(),
                                                   f.stores->sent(), f.stores->failed());
  EXPECT_EQ(recording.outcome, SendOutcome::Sent);
  EXPECT_EQ(f.stores->sent().count(), 1u);
  EXPECT_EQ(f.stores->failed().count(), 0u) << "the message is in two folders";
  f.stores.reset();
  MessageStores reopened(f.settings, f.dir.path(), 0);
  ASSERT_TRUE(reopened.open());
  EXPECT_EQ(reopened.sent().count(), 1u);
  EXPECT_EQ(reopened.failed().count(), 0u);
}

TEST_F(SendResultRecordingTest, OutboxRecordStaysWhenTheSentFolderCantBeSaved) {
  const std::u16string id = queue(SMSMessage(u"", u"+4917012345", u"keep", 502));
  auto message = dispatched(id);
  // The sent folder's file becomes something no record can be written to.
  const std::string sentPath = f.stores->sent().path();
  std::filesystem::remove(sentPath);
  std::filesystem::create_directory(sentPath);
  const SendRecording recording = record(*message, true, 3, id);
  EXPECT_FALSE(recording.saved);
  DatabaseRecord kept;
  EXPECT_TRUE(outbox().get(id, kept));
  f.stores.reset();
  std::filesystem::remove(sentPath);
  MessageStores reopened(f.settings, f.dir.path(), 0);
  ASSERT_TRUE(reopened.open());
  EXPECT_EQ(reopened.outbox().count(), 1u);
}

}  // namespace
}  // namespace parlane::test
