// Instances sharing a pool folder: a connected instance takes files one at a time into its own
// spool while its outbox has room, two never take the same file, a file a crash left claimed is
// never queued twice, and the messages of an instance whose modem stays away go back to the pool
// (on a manual clock), each exactly once, also when a crash cut the return short.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "service/PoolNames.h"
#include "service/PoolReturn.h"
#include "service/ServiceRig.h"
#include "service/SpoolFile.h"
#include "service/SpoolWatcher.h"

namespace parlane {
namespace {

using test::eventually;
using Messages = std::vector<std::unique_ptr<GenericMessage>>;

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void drop(const std::string& folder, const std::string& name, const std::string& bytes) {
  const std::string temporary = folder + "/" + name + ".tmp";
  std::ofstream(temporary, std::ios::binary) << bytes;
  ASSERT_EQ(::rename(temporary.c_str(), (folder + "/" + name).c_str()), 0);
}

// The names in a folder, hidden ones and sub-folders left out.
std::set<std::string> visibleFiles(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name[0] != '.' && entry.is_regular_file()) names.insert(name);
  }
  return names;
}

// The outbox of an instance as the spool sees it: what it queued (by the file's name, the
// message's "custom") and how much room it says it has.
class InstanceOutbox {
 public:
  SpoolWatcher::Queue queue() {
    return [this](const Messages& messages) {
      SubmitResult result;
      std::lock_guard guard(mutex_);
      for (const auto& message : messages) {
        files_.push_back(toUtf8(message->custom));
        texts_.push_back(toUtf8(message->content));
        result.ids.push_back(u"id");
      }
      return result;
    };
  }
  std::function<std::size_t()> room() {
    return [this] {
      std::lock_guard guard(mutex_);
      return texts_.size() - sent_ < batch_ ? batch_ - (texts_.size() - sent_) : 0;
    };
  }
  void setBatch(std::size_t batch) {
    std::lock_guard guard(mutex_);
    batch_ = batch;
  }
  void sendAll() {
    std::lock_guard guard(mutex_);
    sent_ = texts_.size();
  }
  std::vector<std::string> texts() const {
    std::lock_guard guard(mutex_);
    return texts_;
  }
  std::vector<std::string> files() const {
    std::lock_guard guard(mutex_);
    return files_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> files_;
  std::vector<std::string> texts_;
  std::size_t sent_ = 0;
  std::size_t batch_ = 0;
};

class PoolTaking : public ::testing::Test {
 protected:
  PoolTaking() {
    ::mkdir(pool.c_str(), 0700);
    ::mkdir(spool.c_str(), 0700);
  }
  std::unique_ptr<SpoolWatcher> watcher(InstanceOutbox& outbox, const std::string& folder,
                                        std::function<bool(const std::string&)> queued = {}) {
    auto watcher = std::make_unique<SpoolWatcher>(folder, settings, outbox.queue());
    watcher->setPool(SpoolWatcher::Pool{pool, outbox.room(), std::move(queued)});
    return watcher;
  }

  test::LogCapture log;
  test::TempDir dir;
  SettingsStore settings;
  std::string pool = dir.file("pool");
  std::string spool = dir.file("spool");
};

struct TakingCase {
  const char* name;
  std::size_t room;
  std::vector<std::string> inPool;
  std::vector<std::string> taken;  // texts, in the order queued
  std::set<std::string> left;
};

class PoolTakingCases : public PoolTaking, public ::testing::WithParamInterface<TakingCase> {};

TEST_P(PoolTakingCases, TakesWhatTheOutboxHasRoomFor) {
  const TakingCase& c = GetParam();
  for (const std::string& text : c.inPool) drop(pool, text + ".sms", "To: +4917012345\n\n" + text);
  InstanceOutbox outbox;
  outbox.setBatch(c.room);
  auto spoolWatcher = watcher(outbox, spool);
  ASSERT_TRUE(spoolWatcher->start());
  spoolWatcher->stop();
  spoolWatcher->join();
  EXPECT_EQ(outbox.texts(), c.taken);
  EXPECT_EQ(visibleFiles(pool), c.left);
  // Whatever was taken left the spool too, queued under its unique name from the pool.
  EXPECT_TRUE(visibleFiles(spool).empty());
  for (const std::string& file : outbox.files()) {
    EXPECT_TRUE(pool::isTaken(file)) << file;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pool, PoolTakingCases,
    ::testing::Values(
        TakingCase{"NotConnectedTakesNone", 0, {"a", "b"}, {}, {"a.sms", "b.sms"}},
        TakingCase{"RoomForTwoTakesTheFirstTwoByName", 2, {"c", "a", "b"}, {"a", "b"}, {"c.sms"}},
        TakingCase{"RoomForMoreThanThereIsTakesAll", 5, {"a", "b"}, {"a", "b"}, {}}),
    [](const ::testing::TestParamInfo<TakingCase>& info) { return info.param.name; });

TEST_F(PoolTaking, AFileDroppedLaterOrRoomMadeLaterIsTakenWithoutPolling) {
  InstanceOutbox outbox;
  outbox.setBatch(1);
  auto spoolWatcher = watcher(outbox, spool);
  ASSERT_TRUE(spoolWatcher->start());
  drop(pool, "a.sms", "To: +4917012345\n\na");
  ASSERT_TRUE(eventually([&] { return outbox.texts().size() == 1; }));
  drop(pool, "b.sms", "To: +4917012345\n\nb");
  // A file of the instance's own spool, handed in after b was seen: the outbox is full, and b
  // waits in the pool.
  drop(spool, "c.sms", "To: +4917012345\n\nc");
  ASSERT_TRUE(eventually([&] { return outbox.texts().size() == 2; }));
  EXPECT_TRUE(exists(pool + "/b.sms"));
  // a was sent: the service wakes the spool.
  outbox.sendAll();
  spoolWatcher->wake();
  ASSERT_TRUE(eventually([&] { return outbox.texts().size() == 3; }));
  spoolWatcher->stop();
  spoolWatcher->join();
  EXPECT_EQ(outbox.texts(), (std::vector<std::string>{"a", "c", "b"}));
  EXPECT_TRUE(visibleFiles(pool).empty());
}

TEST_F(PoolTaking, TwoInstancesNeverTakeTheSameFile) {
  constexpr int kFiles = 300;
  for (int i = 0; i < kFiles; ++i) {
    drop(pool, "m" + std::to_string(1000 + i) + ".sms", "To: +4917012345\n\n" + std::to_string(i));
  }
  InstanceOutbox first;
  InstanceOutbox second;
  first.setBatch(kFiles);
  second.setBatch(kFiles);
  const std::string otherSpool = dir.file("spool.2");
  auto one = watcher(first, spool);
  auto two = watcher(second, otherSpool);
  std::thread starting([&] { EXPECT_TRUE(one->start()); });
  EXPECT_TRUE(two->start());
  starting.join();
  one->stop();
  two->stop();
  one->join();
  two->join();
  std::multiset<std::string> all;
  for (const auto& text : first.texts()) all.insert(text);
  for (const auto& text : second.texts()) all.insert(text);
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kFiles));
  EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), static_cast<std::size_t>(kFiles));
  EXPECT_TRUE(visibleFiles(pool).empty());
}

struct LeftoverCase {
  const char* name;
  bool queuedBeforeTheStop;
  std::size_t queuedNow;
};

class PoolLeftover : public PoolTaking, public ::testing::WithParamInterface<LeftoverCase> {};

TEST_P(PoolLeftover, IsQueuedOnlyWhenItsMessagesAreNotInTheFolders) {
  const LeftoverCase& c = GetParam();
  const std::string taken = pool::takenName("x.sms");
  ::mkdir((spool + "/" + SpoolWatcher::kTakingFolder).c_str(), 0700);
  std::ofstream(spool + "/" + SpoolWatcher::kTakingFolder + "/" + taken)
      << "To: +4917012345\n\nleft over\n";
  InstanceOutbox outbox;
  std::string asked;
  auto spoolWatcher = watcher(outbox, spool, [&](const std::string& name) {
    asked = name;
    return c.queuedBeforeTheStop;
  });
  ASSERT_TRUE(spoolWatcher->start());
  spoolWatcher->stop();
  spoolWatcher->join();
  EXPECT_EQ(asked, taken);
  EXPECT_EQ(outbox.texts().size(), c.queuedNow);
  EXPECT_FALSE(exists(spool + "/" + SpoolWatcher::kTakingFolder + "/" + taken));
}

INSTANTIATE_TEST_SUITE_P(Pool, PoolLeftover,
                         ::testing::Values(LeftoverCase{"QueuedBeforeACrashIsRemoved", true, 0},
                                           LeftoverCase{"ClaimedButNotQueuedIsQueued", false, 1}),
                         [](const ::testing::TestParamInfo<LeftoverCase>& info) {
                           return info.param.name;
                         });

TEST_F(PoolTaking, APoolThatIsTheSpoolIsNotUsedAsOne) {
  InstanceOutbox outbox;
  outbox.setBatch(5);
  auto spoolWatcher = std::make_unique<SpoolWatcher>(spool, settings, outbox.queue());
  spoolWatcher->setPool(SpoolWatcher::Pool{spool, outbox.room(), {}});
  ASSERT_TRUE(spoolWatcher->start());
  // Its files are still taken as the spool's own.
  drop(spool, "own.sms", "To: +4917012345\n\nown");
  ASSERT_TRUE(eventually([&] { return outbox.files().size() == 1; }));
  spoolWatcher->stop();
  spoolWatcher->join();
  EXPECT_TRUE(log.contains("not a pool")) << log.text();
  ASSERT_EQ(outbox.files().size(), 1u);
  EXPECT_EQ(outbox.files()[0], "own.sms");
}

// The return, on the service without its window and a manual clock.
class PoolGoingBack : public ::testing::Test {
 protected:
  PoolGoingBack() {
    rig.settings.setString("spool.pool", fromUtf8(pool));
    rig.settings.setInt("spool.pool_return", 300);
  }
  // A message of the outbox as a spool file from the pool leaves it.
  std::u16string takenFromPool(const std::string& file, const std::u16string& text) {
    SMSMessage message(u"", u"+4917012345", text);
    message.custom = fromUtf8(pool::takenName(file));
    const std::u16string id = rig.stores->outbox().newIdText();
    rig.stores->outbox().put(outgoingRecord(message, StoreKind::Outbox, id));
    rig.stores->outbox().save();
    return id;
  }
  std::u16string ownMessage(const std::u16string& text) {
    SMSMessage message(u"", u"+4917012345", text);
    message.custom = u"own.sms";
    const std::u16string id = rig.stores->outbox().newIdText();
    rig.stores->outbox().put(outgoingRecord(message, StoreKind::Outbox, id));
    rig.stores->outbox().save();
    return id;
  }
  void pass(std::int64_t seconds) {
    clock.advance(seconds * 1000);
    rig.scheduler.runDue();
  }
  std::vector<std::u16string> outboxTexts() {
    std::vector<std::u16string> texts;
    for (const auto& record : rig.records(StoreKind::Outbox)) {
      texts.push_back(rig.field(record, StoreKind::Outbox, u"content"));
    }
    return texts;
  }

  ManualClock clock;
  test::ServiceRig rig{test::ServiceRig::Options{.port = {}, .schedulerClock = &clock}};
  std::string pool = rig.dir.file("pool");
};

TEST_F(PoolGoingBack, MessagesTakenFromThePoolGoBackWhenTheModemStaysAway) {
  takenFromPool("a.sms", u"from the pool");
  ownMessage(u"handed in here");
  rig.start();
  pass(299);
  ASSERT_TRUE(eventually([&] { return rig.service->queuedOutgoing() == 2; }));
  EXPECT_FALSE(exists(pool + "/a.sms"));
  pass(2);
  ASSERT_TRUE(eventually([&] { return exists(pool + "/a.sms"); })) << rig.log.text();
  ASSERT_TRUE(eventually([&] { return rig.count(StoreKind::Outbox) == 1; }));
  EXPECT_EQ(outboxTexts(), std::vector<std::u16string>{u"handed in here"});
  // Gone for good: a start reads the outbox from its file.
  EXPECT_EQ(rig.file(StoreKind::Outbox).find("from the pool"), std::string::npos);
  const SpoolParse back = parseSpoolFile(readFile(pool + "/a.sms"));
  ASSERT_TRUE(back.message) << back.error;
  EXPECT_EQ(back.message->to, std::vector<std::string>{"+4917012345"});
  EXPECT_EQ(back.message->text, "from the pool");
  EXPECT_EQ(visibleFiles(pool), std::set<std::string>{"a.sms"});
  // The next connection sends what stayed, and the one that went back is not sent here.
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(eventually(
      [&] { return rig.count(StoreKind::Sent) == 1 && rig.count(StoreKind::Outbox) == 0; }));
  EXPECT_EQ(toUtf8(rig.field(rig.records(StoreKind::Sent)[0], StoreKind::Sent, u"content")),
            "handed in here");
}

TEST_F(PoolGoingBack, AModemBackInTimeKeepsThem) {
  takenFromPool("a.sms", u"from the pool");
  rig.start();
  pass(200);
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(eventually([&] { return rig.count(StoreKind::Sent) == 1; }));
  pass(200);
  pass(200);
  rig.stop();
  EXPECT_TRUE(visibleFiles(pool).empty());
}

struct ReturnedTimesCase {
  const char* name;
  MessageTime notBefore;
  MessageTime expires;
  std::optional<std::int64_t> sendAfter;
  std::optional<std::int64_t> expiresBack;
};

class ReturnedTimes : public ::testing::TestWithParam<ReturnedTimesCase> {};

// Another instance that takes a returned message must hold it and give it up as this one would.
TEST_P(ReturnedTimes, GoBackToThePoolWithTheMessage) {
  SMSMessage message(u"", u"+4917012345", u"later");
  message.notBefore = GetParam().notBefore;
  message.expires = GetParam().expires;
  const std::optional<std::string> text =
      PoolReturn::spoolText(outgoingRecord(message, StoreKind::Outbox, u"1"));
  ASSERT_TRUE(text);
  const SpoolParse back = parseSpoolFile(*text, 1'700'000'000);
  ASSERT_TRUE(back.message) << back.error << "\n" << *text;
  EXPECT_EQ(back.message->sendAfter, GetParam().sendAfter) << *text;
  EXPECT_EQ(back.message->expires, GetParam().expiresBack) << *text;
  EXPECT_EQ(back.message->text, "later");
}

INSTANTIATE_TEST_SUITE_P(
    Pool, ReturnedTimes,
    ::testing::Values(ReturnedTimesCase{"None", 0, 0, std::nullopt, std::nullopt},
                      ReturnedTimesCase{"SendAfter", 1'800'000'000, 0, 1'800'000'000, std::nullopt},
                      ReturnedTimesCase{"Expires", 0, 1'800'000'000, std::nullopt, 1'800'000'000},
                      ReturnedTimesCase{"Both", 1'750'000'000, 1'800'000'000, 1'750'000'000,
                                        1'800'000'000}),
    [](const auto& info) { return std::string(info.param.name); });

struct CutShortCase {
  const char* name;
  bool recordStillInOutbox;
  std::set<std::string> poolAfter;
  std::size_t outboxAfter;
};

class PoolReturnCutShort : public PoolGoingBack,
                           public ::testing::WithParamInterface<CutShortCase> {};

TEST_P(PoolReturnCutShort, IsSettledAtTheNextStart) {
  const CutShortCase& c = GetParam();
  const std::u16string id = takenFromPool("a.sms", u"from the pool");
  DatabaseRecord record;
  ASSERT_TRUE(rig.stores->outbox().get(id, record));
  ::mkdir(pool.c_str(), 0700);
  std::ofstream(pool + "/" + pool::returnName(0, id, "a.sms")) << *PoolReturn::spoolText(record);
  // Another instance's return is none of this one's business.
  std::ofstream(pool + "/" + pool::returnName(7, id, "b.sms")) << *PoolReturn::spoolText(record);
  if (!c.recordStillInOutbox) {
    rig.stores->outbox().remove(id);
    rig.stores->outbox().save();
  }
  rig.start();
  rig.stop();
  std::set<std::string> after;
  for (const auto& entry : std::filesystem::directory_iterator(pool)) {
    after.insert(entry.path().filename().string());
  }
  std::set<std::string> expected = c.poolAfter;
  expected.insert(pool::returnName(7, id, "b.sms"));
  EXPECT_EQ(after, expected);
  EXPECT_EQ(rig.count(StoreKind::Outbox), c.outboxAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Pool, PoolReturnCutShort,
    ::testing::Values(CutShortCase{"BeforeTheRecordLeftTheOutbox", true, {}, 1},
                      CutShortCase{"AfterTheRecordLeftTheOutbox", false, {"a.sms"}, 0}),
    [](const ::testing::TestParamInfo<CutShortCase>& info) { return info.param.name; });

}  // namespace
}  // namespace parlane
