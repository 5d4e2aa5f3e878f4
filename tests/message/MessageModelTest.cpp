#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>

#include "core/settings/SettingsStore.h"
#include "core/util/Clock.h"
#include "core/util/Utf.h"
#include "message/ATCommandMessage.h"
#include "message/MessageIdCounter.h"
#include "message/MessageKind.h"
#include "message/PushMessage.h"
#include "message/SMSMessage.h"
#include "message/StatusReport.h"
#include "message/TonAutoRule.h"
#include "message/USSDRequest.h"

namespace parlane {
namespace {

class MessageModelTest : public ::testing::Test {
 protected:
  void SetUp() override { MessageIdCounter::set(100); }
  void TearDown() override { TonAutoRule::set({}); }
};

TEST_F(MessageModelTest, TypeCodesAndNames) {
  const ATCommandMessage at(u"AT+CMGD=1");
  EXPECT_EQ(at.getType(), 0);
  EXPECT_EQ(at.getTypeName(), u"at");
  EXPECT_EQ(at.clone()->text, u"AT+CMGD=1");

  const SMSMessage sms(u"1", u"2", u"x", 1);
  const PushMessage push(u"1", u"2", u"x", u"http://u", 2);
  const USSDRequest ussd(u"", u"", u"*100#", 3);
  const StatusReport report(u"2", u"", 9, 1000, 0);
  struct Case {
    const GenericMessage& message;
    int type;
    std::u16string name;
  } cases[] = {{sms, 1, u"sms"}, {push, 2, u"push"}, {ussd, 3, u"ussd"}, {report, 4, u"sr"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.name));
    EXPECT_EQ(c.message.getType(), c.type);
    EXPECT_EQ(c.message.getTypeName(), c.name);
    const std::unique_ptr<GenericMessage> copy = c.message.clone();
    EXPECT_EQ(copy->getType(), c.type) << "clone keeps the class";
    EXPECT_EQ(copy->getTypeName(), c.name);
  }
}

TEST_F(MessageModelTest, KindNamesAreTheFolderTypeTexts) {
  for (const MessageKind kind : {MessageKind::AtCommand, MessageKind::Sms, MessageKind::Push,
                                 MessageKind::Ussd, MessageKind::StatusReport}) {
    EXPECT_EQ(messageKindFromName(messageKindName(kind)), kind) << static_cast<int>(kind);
  }
  EXPECT_EQ(messageKindName(MessageKind::StatusReport), u"sr");
  for (const std::u16string_view other : {u"", u"SMS", u"sms ", u"mms"}) {
    EXPECT_FALSE(messageKindFromName(other).has_value()) << toUtf8(other);
  }
  EXPECT_EQ(SMSMessage(u"", u"", u"", 1).kind(), MessageKind::Sms);
  EXPECT_EQ(StatusReport(u"", u"", 0, 0, 0).kind(), MessageKind::StatusReport);
}

TEST_F(MessageModelTest, ConstructionFillsTheDefaults) {
  const SMSMessage message(u"+15550001", u"12345", u"text");
  EXPECT_EQ(message.getSource(), u"+15550001");
  EXPECT_EQ(message.getTo(), u"12345");
  EXPECT_EQ(message.getContent(), u"text");
  EXPECT_EQ(message.timestamp, message.created);
  EXPECT_EQ(message.expiry - message.timestamp, 86400);
  EXPECT_EQ(message.refid, 0);
  EXPECT_EQ(message.segments, 0);
  EXPECT_EQ(message.flags, 0);
  EXPECT_EQ(message.attempts, 0);
  EXPECT_TRUE(message.memorySlots.empty());
  EXPECT_TRUE(message.custom.empty());
  EXPECT_EQ(message.getUrl(), u"");
  EXPECT_EQ(message.srcton, 1);
  EXPECT_EQ(message.dstton, 0) << "no auto rule loaded: numbers without + are unknown";

  const SMSMessage empty;
  EXPECT_EQ(empty.srcton, 1);
  EXPECT_EQ(empty.dstton, 1);
  EXPECT_EQ(empty.expiry - empty.timestamp, 86400);
  EXPECT_TRUE(empty.getSource().empty());
}

TEST_F(MessageModelTest, CreationTimesComeFromTheGivenClock) {
  ManualClock clock(0, 1'700'000'000);
  const SMSMessage sms(u"1", u"2", u"x", -1, clock);
  const PushMessage push(u"1", u"2", u"x", u"http://u", -1, clock);
  const USSDRequest ussd(u"", u"", u"*100#", -1, clock);
  const StatusReport report(u"2", u"", 9, 1000, 0, clock);
  const SMSMessage empty(clock);
  for (const GenericMessage* message :
       std::initializer_list<const GenericMessage*>{&sms, &push, &ussd, &report, &empty}) {
    EXPECT_EQ(message->created, 1'700'000'000) << message->getType();
    EXPECT_EQ(message->timestamp, 1'700'000'000);
    EXPECT_EQ(message->expiry, 1'700'000'000 + 86400);
  }
  clock.advance(5'000);
  EXPECT_EQ(SMSMessage(u"1", u"2", u"x", 1, clock).created, 1'700'000'005);
}

TEST_F(MessageModelTest, TonsComeFromTheAutoRuleOnce) {
  TonAutoRule::set({4, 4, 2});
  SMSMessage message(u"1234", u"123456", u"", 1);
  EXPECT_EQ(message.srcton, 4);
  EXPECT_EQ(message.dstton, 2);
  message.to = u"+1";
  EXPECT_EQ(message.dstton, 2) << "later changes do not recompute";
  EXPECT_EQ(SMSMessage(u"", u"+1", u"", 1).dstton, 1);
  EXPECT_EQ(SMSMessage(u"", u"", u"", 1).dstton, 0);
}

TEST_F(MessageModelTest, IdsComeFromTheCounterUnlessGiven) {
  const SMSMessage given(u"", u"", u"", 7);
  EXPECT_EQ(given.getId(), 7);
  EXPECT_EQ(MessageIdCounter::peek(), 100) << "an explicit id leaves the counter alone";

  const SMSMessage taken(u"", u"", u"");
  EXPECT_EQ(taken.getId(), 100);
  EXPECT_EQ(MessageIdCounter::peek(), 101);

  const SMSMessage byDefault;
  EXPECT_EQ(byDefault.uniqueid, 101);
  const PushMessage push(u"", u"", u"", u"u");
  EXPECT_EQ(push.uniqueid, 102);
  const StatusReport report(u"", u"", 1, 0, 0);
  EXPECT_EQ(report.uniqueid, 103);
  EXPECT_EQ(MessageIdCounter::peek(), 104);

  const std::unique_ptr<GenericMessage> copy = taken.clone();
  EXPECT_EQ(copy->getId(), 100);
  EXPECT_EQ(MessageIdCounter::peek(), 104) << "copies keep the id and take none";

  SMSMessage changed(u"", u"", u"", 1);
  changed.setId(55);
  EXPECT_EQ(changed.getId(), 55);
  changed.setCustom(u"note");
  EXPECT_EQ(changed.getCustom(), u"note");
}

TEST_F(MessageModelTest, CloneKeepsEveryField) {
  PushMessage push(u"src", u"dst", u"text", u"http://x", 5);
  push.created = 1000;
  push.timestamp = 2000;
  push.expiry = 3000;
  push.refid = 12;
  push.segments = 3;
  push.flags = 5;
  push.memorySlots = {{1, 7}, {2, 9}};
  push.srcton = 3;
  push.dstton = 4;
  push.attempts = 2;
  push.custom = u"c";
  const std::unique_ptr<GenericMessage> copy = push.clone();
  const auto& pushCopy = dynamic_cast<const PushMessage&>(*copy);
  EXPECT_EQ(pushCopy.url, u"http://x");
  EXPECT_EQ(pushCopy.getUrl(), u"http://x");
  EXPECT_EQ(pushCopy.uniqueid, 5);
  EXPECT_EQ(pushCopy.created, 1000);
  EXPECT_EQ(pushCopy.timestamp, 2000);
  EXPECT_EQ(pushCopy.expiry, 3000);
  EXPECT_EQ(pushCopy.refid, 12);
  EXPECT_EQ(pushCopy.segments, 3);
  EXPECT_EQ(pushCopy.flags, 5);
  EXPECT_EQ(pushCopy.memorySlots, (std::vector<ModemSlot>{{1, 7}, {2, 9}}));
  EXPECT_EQ(pushCopy.srcton, 3);
  EXPECT_EQ(pushCopy.dstton, 4);
  EXPECT_EQ(pushCopy.attempts, 2);
  EXPECT_EQ(pushCopy.custom, u"c");
  EXPECT_EQ(pushCopy.source, u"src");
  EXPECT_EQ(pushCopy.to, u"dst");
  EXPECT_EQ(pushCopy.content, u"text");

  const StatusReport report(u"123", u"", 77, 123456, 0x40);
  const auto reportCopy = report.clone();
  const auto& reportFields = dynamic_cast<const StatusReport&>(*reportCopy);
  EXPECT_EQ(reportFields.refid, 77);
  EXPECT_EQ(reportFields.dischargeTime, 123456);
  EXPECT_EQ(reportFields.reportStatus, 0x40);
  EXPECT_EQ(reportFields.source, u"123");

  const USSDRequest ussd(u"", u"", u"*100#", 9);
  EXPECT_NE(dynamic_cast<const USSDRequest*>(ussd.clone().get()), nullptr);
}

TEST_F(MessageModelTest, IsSameComparesContentCreationAndNumbers) {
  SMSMessage a(u"1", u"2", u"Hello", 1);
  a.created = 500;
  struct Case {
    const char* name;
    void (*change)(SMSMessage&);
    bool same;
  } cases[] = {
      {"identical", [](SMSMessage&) {}, true},
      {"other id and timestamp",
       [](SMSMessage& m) {
         m.uniqueid = 99;
         m.timestamp = 1;
       },
       true},
      {"created", [](SMSMessage& m) { m.created = 501; }, false},
      {"content case", [](SMSMessage& m) { m.content = u"hello"; }, false},
      {"source", [](SMSMessage& m) { m.source = u"11"; }, false},
      {"to", [](SMSMessage& m) { m.to = u"22"; }, false},
  };
  for (const Case& c : cases) {
    SMSMessage b = a;
    c.change(b);
    EXPECT_EQ(a.isSame(b), c.same) << c.name;
  }
}

TEST_F(MessageModelTest, CounterIsLoadedAndSavedThroughTheSettings) {
  struct Case {
    int stored;
    int largestInFolders;
    int next;
  } cases[] = {{10, 5, 11}, {10, 40, 41}, {0, 0, 1}, {0, -1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "stored " << c.stored << ", largest " << c.largestInFolders);
    SettingsStore settings;
    settings.setInt("message.id", c.stored);
    MessageIdCounter::loadFrom(settings, c.largestInFolders);
    EXPECT_EQ(MessageIdCounter::peek(), c.next);
    EXPECT_EQ(settings.getInt("message.id"), c.next - 1);
  }

  SettingsStore settings;
  settings.setInt("message.id", 41);
  MessageIdCounter::loadFrom(settings, 0);
  const SMSMessage last(u"", u"", u"");
  MessageIdCounter::saveTo(settings);
  EXPECT_EQ(settings.getInt("message.id"), last.uniqueid);
  EXPECT_EQ(last.uniqueid, 42);

  MessageIdCounter::loadFrom(settings, 0);
  EXPECT_EQ(SMSMessage(u"", u"", u"").uniqueid, 43) << "a restart continues after the last id";
}

}  // namespace
}  // namespace parlane
