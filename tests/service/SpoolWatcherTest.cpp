// The spool folder on the service without its window (emulator): files waiting at start and
// files that arrive later are queued through the send path, bad ones are set aside, and a file
// whose messages can't be saved stays.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <set>

#include "message/MessageFlags.h"
#include "service/ServiceRig.h"
#include "service/SpoolWatcher.h"

namespace parlane {
namespace {

using test::eventually;
using Messages = std::vector<std::unique_ptr<GenericMessage>>;

// What the outbox's door says of a batch it took whole, or could not save.
SubmitResult taken(const Messages& messages) {
  SubmitResult result;
  for (std::size_t i = 0; i < messages.size(); ++i) result.ids.push_back(u"id");
  return result;
}
SubmitResult notSaved(const Messages& messages) {
  SubmitResult result;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    result.refused.push_back(RefusedMessage{i, SubmitRefusal::NotSaved, u"not saved"});
  }
  return result;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

class Spool : public ::testing::Test {
 protected:
  void drop(const std::string& name, const std::string& bytes) {
    const std::string temporary = folder + "/" + name + ".tmp";
    std::ofstream(temporary, std::ios::binary) << bytes;
    ASSERT_EQ(::rename(temporary.c_str(), (folder + "/" + name).c_str()), 0);
  }
  // The queue of the gateway: the service's outbox, then dispatch.
  SpoolWatcher::Queue serviceQueue() {
    return [this](Messages messages) {
      return rig.service->submit(std::move(messages), SubmitBatch::AllOrNothing);
    };
  }
  std::vector<DatabaseRecord> sentFrom(const std::string& name) {
    std::vector<DatabaseRecord> found;
    for (DatabaseRecord& record : rig.records(StoreKind::Sent)) {
      if (rig.field(record, StoreKind::Sent, u"custom") == fromUtf8(name)) {
        found.push_back(std::move(record));
      }
    }
    return found;
  }

  test::ServiceRig rig;
  std::string folder = rig.dir.file("spool");
};

TEST_F(Spool, FilesBeforeAndAfterTheStartAreSent) {
  ::mkdir(folder.c_str(), 0700);
  drop("a-waiting.sms",
       "To: +4917012345, +4917054321\nFlash: yes\nReport: yes\nTon: 1\n"
       "Validity: 600\n\nwaited\n");
  rig.settings.setString("ton_src_prefix", u"0");
  rig.settings.setString("ton_dst_prefix", u"+49");
  rig.start();
  ASSERT_TRUE(rig.connect());
  SpoolWatcher spool(folder, rig.settings, serviceQueue());
  ASSERT_TRUE(spool.start());
  drop("b-later.sms", "To: 0170999\nUrl: http://example.org/x\n\npush title\n");
  std::ofstream(folder + "/c-being-written.sms.tmp") << "To: +491\n\nnot yet\n";
  ASSERT_TRUE(eventually([&] { return rig.count(StoreKind::Sent) == 3; })) << rig.log.text();
  spool.stop();
  spool.join();

  const auto waited = sentFrom("a-waiting.sms");
  ASSERT_EQ(waited.size(), 2u);
  const auto field = [&](const DatabaseRecord& r, std::u16string_view name) {
    return toUtf8(rig.field(r, StoreKind::Sent, name));
  };
  EXPECT_EQ(field(waited[0], u"content"), "waited");
  EXPECT_EQ(field(waited[0], u"flags"),
            std::to_string(messageFlags::kFlash | messageFlags::kReport));
  EXPECT_EQ(field(waited[0], u"validity"), "600");
  EXPECT_EQ(field(waited[0], u"dstton"), "1");
  const auto later = sentFrom("b-later.sms");
  ASSERT_EQ(later.size(), 1u);
  EXPECT_EQ(field(later[0], u"type"), "push");
  EXPECT_EQ(field(later[0], u"url"), "http://example.org/x");
  // The send path's prefix rewrite.
  EXPECT_EQ(field(later[0], u"to"), "+49170999");
  EXPECT_FALSE(exists(folder + "/a-waiting.sms"));
  EXPECT_FALSE(exists(folder + "/b-later.sms"));
  EXPECT_TRUE(exists(folder + "/c-being-written.sms.tmp"));
}

// Seconds in "Send-After:" count from the moment the file is taken, on the watcher's clock.
TEST_F(Spool, SendAfterAndExpiresGiveEachMessageItsTimes) {
  ManualClock clock{1'000'000, 1'700'000'000};
  std::mutex mutex;
  std::vector<std::pair<MessageTime, MessageTime>> times;
  SpoolWatcher spool(
      folder, rig.settings,
      [&](const Messages& messages) {
        std::lock_guard guard(mutex);
        for (const auto& message : messages)
          times.emplace_back(message->notBefore, message->expires);
        return taken(messages);
      },
      clock);
  ASSERT_TRUE(spool.start());
  drop("timed.sms",
       "To: +4917012345, +4917054321\nSend-After: 60\nExpires: 2023-11-15T00:00Z\n\nlater\n");
  ASSERT_TRUE(eventually([&] {
    std::lock_guard guard(mutex);
    return times.size() == 2;
  }));
  spool.stop();
  spool.join();
  const std::pair<MessageTime, MessageTime> expected{1'700'000'060, 1'700'006'400};
  EXPECT_EQ(times[0], expected);
  EXPECT_EQ(times[1], expected);
}

TEST_F(Spool, AFileWhoseMessagesCantBeSavedStays) {
  std::atomic<int> offered{0};
  SpoolWatcher spool(folder, rig.settings, [&](const Messages& messages) {
    ++offered;
    return notSaved(messages);
  });
  ASSERT_TRUE(spool.start());
  drop("kept.sms", "To: +4917012345\n\nkeep me\n");
  ASSERT_TRUE(eventually([&] { return rig.log.contains("kept.sms: the outbox can't be saved"); }))
      << rig.log.text();
  spool.stop();
  spool.join();
  EXPECT_EQ(offered.load(), 1);
  EXPECT_TRUE(exists(folder + "/kept.sms"));
  EXPECT_FALSE(exists(folder + "/rejected/kept.sms"));
}

TEST_F(Spool, ANumberTheSendPathRefusesRejectsTheWholeFile) {
  // The rewrite turns the second number into no number at all.
  rig.settings.setString("ton_src_prefix", u"0");
  rig.settings.setString("ton_dst_prefix", u"x");
  rig.start();
  SpoolWatcher spool(folder, rig.settings, serviceQueue());
  ASSERT_TRUE(spool.start());
  drop("mixed.sms", "To: +4917012345\nTo: 0170\n\nhi\n");
  drop("mixed.sms.again", "To: 0170\n\nhi\n");
  ASSERT_TRUE(eventually([&] { return exists(folder + "/rejected/mixed.sms.again.error"); }));
  ASSERT_TRUE(exists(folder + "/rejected/mixed.sms.error"));
  spool.stop();
  spool.join();
  // Not one message of either file was taken.
  EXPECT_EQ(rig.count(StoreKind::Outbox), 0u);
  EXPECT_EQ(rig.service->queuedOutgoing(), 0u);
  EXPECT_EQ(rig.count(StoreKind::Sent), 0u);
  std::ifstream in(folder + "/rejected/mixed.sms.error");
  std::string reason((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(reason.find("x170"), std::string::npos) << reason;
}

TEST_F(Spool, ARejectedNameIsNeverOverwritten) {
  SpoolWatcher spool(folder, rig.settings,
                     [](const Messages& messages) { return taken(messages); });
  ASSERT_TRUE(spool.start());
  drop("same.sms", "garbage one");
  ASSERT_TRUE(eventually([&] { return exists(folder + "/rejected/same.sms.error"); }));
  drop("same.sms", "garbage two");
  ASSERT_TRUE(eventually([&] { return exists(folder + "/rejected/same.sms.1.error"); }));
  spool.stop();
  spool.join();
  std::ifstream first(folder + "/rejected/same.sms");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(first), {}), "garbage one");
}

TEST_F(Spool, AFolderThatIsAFileIsNoSpool) {
  std::ofstream(folder) << "a file";
  SpoolWatcher spool(folder, rig.settings,
                     [](const Messages& messages) { return taken(messages); });
  EXPECT_FALSE(spool.start());
  EXPECT_TRUE(rig.log.contains("can't be used as the spool folder")) << rig.log.text();
}

// What a spool records of the messages it queues, with a switch for an outbox that can't save.
class QueueRecorder {
 public:
  SpoolWatcher::Queue queue() {
    return [this](const Messages& messages) {
      std::lock_guard guard(mutex_);
      ++offers_;
      if (!saving_) return notSaved(messages);
      for (const auto& message : messages) texts_.push_back(toUtf8(message->content));
      if (afterQueue_) afterQueue_(texts_.back());
      return taken(messages);
    };
  }
  std::vector<std::string> texts() const {
    std::lock_guard guard(mutex_);
    return texts_;
  }
  int offers() const {
    std::lock_guard guard(mutex_);
    return offers_;
  }
  void setSaving(bool saving) {
    std::lock_guard guard(mutex_);
    saving_ = saving;
  }
  // Runs inside the queue call, after a file's messages are taken and before it returns.
  void setAfterQueue(std::function<void(const std::string&)> hook) {
    afterQueue_ = std::move(hook);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
  int offers_ = 0;
  bool saving_ = true;
  std::function<void(const std::string&)> afterQueue_;
};

TEST_F(Spool, AWriterWhoRenamesOverOneNameLosesNothing) {
  // The writer puts its next file under the same name while the gateway is still queuing the
  // last one: the gateway must not remove the newer file by name.
  constexpr int kFiles = 200;
  QueueRecorder recorder;
  recorder.setAfterQueue([&](const std::string& text) {
    const int number = std::stoi(text.substr(text.find(' ') + 1));
    if (number + 1 < kFiles) {
      drop("same.sms", "To: +4917012345\n\nmessage " + std::to_string(number + 1) + "\n");
    }
  });
  SpoolWatcher spool(folder, rig.settings, recorder.queue());
  ASSERT_TRUE(spool.start());
  drop("same.sms", "To: +4917012345\n\nmessage 0\n");
  ASSERT_TRUE(eventually([&] { return recorder.texts().size() == kFiles; }, 30000))
      << recorder.texts().size() << " of " << kFiles << " queued\n"
      << rig.log.text();
  spool.stop();
  spool.join();
  const auto texts = recorder.texts();
  EXPECT_EQ(std::set<std::string>(texts.begin(), texts.end()).size(), std::size_t{kFiles});
  EXPECT_FALSE(exists(folder + "/same.sms"));
}

TEST_F(Spool, AFileStillBeingWrittenAtTheStartWaitsForItsEnd) {
  ::mkdir(folder.c_str(), 0700);
  // A careless writer: no ".tmp" name, and half of the text written when the gateway starts.
  const int fd = ::open((folder + "/slow.sms").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  const std::string first = "To: +4917012345\n\nthe first half";
  ASSERT_EQ(::write(fd, first.data(), first.size()), static_cast<ssize_t>(first.size()));
  QueueRecorder recorder;
  SpoolWatcher spool(folder, rig.settings, recorder.queue());
  ASSERT_TRUE(spool.start());
  const std::string second = " and the second half\n";
  ASSERT_EQ(::write(fd, second.data(), second.size()), static_cast<ssize_t>(second.size()));
  ::close(fd);
  ASSERT_TRUE(eventually([&] { return !recorder.texts().empty(); })) << rig.log.text();
  spool.stop();
  spool.join();
  EXPECT_EQ(recorder.texts(), std::vector<std::string>{"the first half and the second half"});
}

TEST_F(Spool, AFileLinkedInIsTakenWithoutARestart) {
  QueueRecorder recorder;
  SpoolWatcher spool(folder, rig.settings, recorder.queue());
  ASSERT_TRUE(spool.start());
  const std::string outside = rig.dir.file("written-elsewhere.sms");
  std::ofstream(outside) << "To: +4917012345\n\nlinked in\n";
  // Finished a while ago.
  const timespec old[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, outside.c_str(), old, 0), 0);
  ASSERT_EQ(::link(outside.c_str(), (folder + "/linked.sms").c_str()), 0);
  ASSERT_TRUE(eventually([&] { return !recorder.texts().empty(); })) << rig.log.text();
  spool.stop();
  spool.join();
  EXPECT_EQ(recorder.texts(), std::vector<std::string>{"linked in"});
  EXPECT_FALSE(exists(folder + "/linked.sms"));
}

TEST_F(Spool, AFileTheOutboxCouldNotSaveIsOfferedAgainEveryMinute) {
  ManualClock clock;
  QueueRecorder recorder;
  recorder.setSaving(false);
  SpoolWatcher spool(folder, rig.settings, recorder.queue(), clock);
  clock.setOnAdvance([&] { spool.wake(); });
  ASSERT_TRUE(spool.start());
  drop("disk-full.sms", "To: +4917012345\n\nsaved at last\n");
  ASSERT_TRUE(eventually([&] { return recorder.offers() == 1; })) << rig.log.text();
  clock.advance(SpoolWatcher::kSaveRetryMs);
  ASSERT_TRUE(eventually([&] { return recorder.offers() == 2; })) << rig.log.text();
  EXPECT_TRUE(exists(folder + "/disk-full.sms"));
  recorder.setSaving(true);
  clock.advance(SpoolWatcher::kSaveRetryMs - 1);
  clock.advance(1);
  ASSERT_TRUE(eventually([&] { return recorder.texts().size() == 1; })) << rig.log.text();
  spool.stop();
  spool.join();
  EXPECT_EQ(recorder.offers(), 3);
  EXPECT_FALSE(exists(folder + "/disk-full.sms"));
}

TEST_F(Spool, AFileWithMoreMessagesThanTheOutboxKeepsIsRejected) {
  rig.settings.setInt("outbox.maxrecords", 5);
  QueueRecorder recorder;
  SpoolWatcher spool(folder, rig.settings, recorder.queue());
  ASSERT_TRUE(spool.start());
  std::string numbers;
  for (int i = 0; i < 20; ++i) numbers += "To: +49170" + std::to_string(100000 + i) + "\n";
  drop("twenty.sms", numbers + "\nto all\n");
  drop("five.sms", numbers.substr(0, 5 * 17) + "\nto five\n");
  ASSERT_TRUE(eventually([&] { return exists(folder + "/rejected/twenty.sms.error"); }))
      << rig.log.text();
  ASSERT_TRUE(eventually([&] { return recorder.texts().size() == 5; })) << rig.log.text();
  spool.stop();
  spool.join();
  std::ifstream in(folder + "/rejected/twenty.sms.error");
  const std::string reason(std::istreambuf_iterator<char>(in), {});
  EXPECT_NE(reason.find("outbox.maxrecords"), std::string::npos) << reason;
}

struct UntrustedCase {
  const char* name;
  mode_t mode;
  bool otherOwner;
  const char* why;
};

void PrintTo(const UntrustedCase& c, std::ostream* os) { *os << c.name; }

class UntrustedSpool : public Spool, public testing::WithParamInterface<UntrustedCase> {};

TEST_P(UntrustedSpool, IsNotRead) {
  const UntrustedCase& c = GetParam();
  if (c.otherOwner && ::geteuid() != 0)
    GTEST_SKIP() << "giving the folder to another user needs root";
  ::mkdir(folder.c_str(), 0700);
  drop("planted.sms", "To: +4917012345\n\nfrom someone else\n");
  if (c.otherOwner) {
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown((folder + "/planted.sms").c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(::chmod(folder.c_str(), c.mode), 0);
  QueueRecorder recorder;
  SpoolWatcher spool(folder, rig.settings, recorder.queue());
  EXPECT_FALSE(spool.start());
  EXPECT_TRUE(rig.log.contains("is not used: " + std::string(c.why))) << rig.log.text();
  EXPECT_EQ(recorder.offers(), 0);
  EXPECT_TRUE(exists(folder + "/planted.sms"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UntrustedSpool,
    testing::Values(
        UntrustedCase{"WritableByAll", 0777, false, "others may write to it (mode 0777)"},
        UntrustedCase{"WritableByTheGroup", 0770, false, "others may write to it (mode 0770)"},
        UntrustedCase{"OwnedByAnotherUser", 0700, true, "it belongs to another user (uid 65534)"}),
    [](const testing::TestParamInfo<UntrustedCase>& info) { return info.param.name; });

TEST_F(Spool, ARejectedFolderReplacedByALinkIsNotFollowed) {
  QueueRecorder recorder;
  SpoolWatcher spool(folder, rig.settings, recorder.queue());
  ASSERT_TRUE(spool.start());
  const std::string elsewhere = rig.dir.file("autostart");
  ::mkdir(elsewhere.c_str(), 0700);
  ASSERT_EQ(::rmdir((folder + "/rejected").c_str()), 0);
  ASSERT_EQ(::symlink(elsewhere.c_str(), (folder + "/rejected").c_str()), 0);
  drop("evil.desktop", "[Desktop Entry]\nExec=rm -rf ~\n");
  ASSERT_TRUE(eventually([&] { return rig.log.contains("evil.desktop can't be moved to"); }))
      << rig.log.text();
  spool.stop();
  spool.join();
  EXPECT_FALSE(exists(elsewhere + "/evil.desktop"));
  EXPECT_FALSE(exists(elsewhere + "/evil.desktop.error"));
}

}  // namespace
}  // namespace parlane
