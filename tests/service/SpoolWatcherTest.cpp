// The spool folder on the service without its window (emulator): files waiting at start and
// files that arrive later are queued through the send path, bad ones are set aside, and a file
// whose messages can't be saved stays.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "service/ServiceRig.h"
#include "service/SpoolWatcher.h"
#include "transport/message/MessageFlags.h"

namespace parlane {
namespace {

using test::eventually;
using Messages = std::vector<std::unique_ptr<GenericMessage>>;

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
    return [this](const Messages& messages) {
      if (!rig.service->queueOutgoingAll(messages)) return false;
      rig.service->dispatchNext();
      return true;
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

TEST_F(Spool, AFileWhoseMessagesCantBeSavedStays) {
  std::atomic<int> offered{0};
  SpoolWatcher spool(folder, rig.settings, [&](const Messages&) {
    ++offered;
    return false;
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
  std::atomic<int> offered{0};
  SpoolWatcher spool(folder, rig.settings, [&](const Messages&) {
    ++offered;
    return true;
  });
  ASSERT_TRUE(spool.start());
  drop("mixed.sms", "To: +4917012345\nTo: 0170\n\nhi\n");
  drop("mixed.sms.again", "To: 0170\n\nhi\n");
  ASSERT_TRUE(eventually([&] { return exists(folder + "/rejected/mixed.sms.again.error"); }));
  ASSERT_TRUE(exists(folder + "/rejected/mixed.sms.error"));
  spool.stop();
  spool.join();
  EXPECT_EQ(offered.load(), 0);
  std::ifstream in(folder + "/rejected/mixed.sms.error");
  std::string reason((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(reason.find("x170"), std::string::npos) << reason;
}

TEST_F(Spool, ARejectedNameIsNeverOverwritten) {
  SpoolWatcher spool(folder, rig.settings, [](const Messages&) { return true; });
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
  SpoolWatcher spool(folder, rig.settings, [](const Messages&) { return true; });
  EXPECT_FALSE(spool.start());
  EXPECT_TRUE(rig.log.contains("can't be used as the spool folder")) << rig.log.text();
}

}  // namespace
}  // namespace parlane
