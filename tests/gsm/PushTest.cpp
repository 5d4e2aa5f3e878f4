#include <gtest/gtest.h>

#include <random>
#include <string>

#include "SubmitUnitView.h"
#include "core/util/Utf.h"
#include "gsm/PushDecoder.h"
#include "gsm/PushEncoder.h"
#include "message/MessageFlags.h"
#include "message/PushMessage.h"

namespace parlane {
namespace {

using test::SubmitUnitView;
using test::toHex;
using test::viewSubmitUnit;

Octets ascii(std::string_view text) { return Octets(text.begin(), text.end()); }

Octets concat(std::initializer_list<Octets> pieces) {
  Octets all;
  for (const Octets& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
  return all;
}

TEST(PushBodyTest, BuildsTheServiceIndication) {
  EXPECT_EQ(toHex(PushEncoder::buildPushBody(u"http://a", u"Hi", 0x2A)),
            "2A0601AE02056A0045C60C03610001034869000101");
  // Case is ignored when taking the prefix off; other schemes keep their full text.
  EXPECT_EQ(toHex(PushEncoder::buildPushBody(u"HTTP://a", u"", 1)).substr(20, 10), "0C03610001");
  EXPECT_EQ(toHex(PushEncoder::buildPushBody(u"https://a", u"", 1)).substr(20, 4), "0B03");
  // Text goes out as UTF-8.
  EXPECT_EQ(toHex(PushEncoder::buildPushBody(u"x", u"\u044F", 1)).substr(30), "03D18F000101");
  EXPECT_EQ(toHex(PushEncoder::buildPortElement()), "05040B8423F0");
}

class PushSubmitTest : public ::testing::Test {
 protected:
  std::vector<Octets> encode(const std::u16string& url, const std::u16string& text,
                             std::int32_t flags = 0) {
    PushMessage message(u"", u"12345", text, url, 0x1234);
    message.dstton = 1;
    message.flags = flags;
    return PushEncoder(pdu).encodePushSubmit(message);
  }

  PduEncoder pdu{PduEncoderOptions{}};
};

TEST_F(PushSubmitTest, SingleUnit) {
  const std::vector<Octets> units = encode(u"http://a", u"Hi", messageFlags::kFlash);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(toHex(units[0]),
            "00510005912143F500F5A7"  // header, DCS F5 even with flash, one day
            "1C"
            "06"
            "05040B8423F0"                                  // UDL, UDHL, ports
            "340601AE02056A0045C60C03610001034869000101");  // body, tid = low octet of the id
}

TEST_F(PushSubmitTest, BodyThatJustFitsIsOneUnitOneMoreIsTwo) {
  // Header 11 octets: M = 140 - 11 - 2 = 127, made even: 126, so a body of 120 fits.
  const std::u16string url = u"https://x";  // body = 18 + 9 + text
  ASSERT_EQ(PushEncoder::buildPushBody(url, std::u16string(93, u't'), 0).size(), 120u);
  const std::vector<Octets> one = encode(url, std::u16string(93, u't'));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(viewSubmitUnit(one[0]).userDataLength, 127);

  const std::vector<Octets> two = encode(url, std::u16string(94, u't'), messageFlags::kReport);
  ASSERT_EQ(two.size(), 2u);
  const int lengths[] = {115 + 12, 6 + 12};
  for (std::size_t i = 0; i < two.size(); ++i) {
    const SubmitUnitView view = viewSubmitUnit(two[i]);
    ASSERT_TRUE(view.complete);
    EXPECT_EQ(view.firstOctet, 0x71);
    EXPECT_EQ(view.dcs, 0xF5);
    EXPECT_EQ(view.userDataLength, lengths[i]);
    EXPECT_EQ(view.userData.size(), view.userDataLength);
    EXPECT_EQ(toHex(Octets(view.userData.begin(), view.userData.begin() + 9)),
              "0B05040B8423F00003");
    EXPECT_EQ(view.userData[9], viewSubmitUnit(two[0]).userData[9]) << "one reference";
    EXPECT_EQ(view.userData[10], 2);
    EXPECT_EQ(view.userData[11], i + 1);
  }
}

// 255 parts of 115 octets at most; one octet more and the push is refused, not sent cut short.
TEST_F(PushSubmitTest, BodyOfMoreThan255PartsIsRefused) {
  const std::u16string url = u"https://x";  // body = 18 + 9 + text
  PushMessage message(u"", u"12345", std::u16string(115 * 255 - 27, u't'), url, 0x1234);
  message.dstton = 1;
  std::string refusal;
  EXPECT_EQ(PushEncoder(pdu).encodePushSubmit(message, &refusal).size(), 255u);
  EXPECT_EQ(refusal, "");
  message.content += u't';
  EXPECT_TRUE(PushEncoder(pdu).encodePushSubmit(message, &refusal).empty());
  EXPECT_EQ(refusal, "the message needs 256 parts, more than the 255 that one message can have");
  EXPECT_TRUE(pdu.encodeOutgoing(message).empty());
}

TEST_F(PushSubmitTest, ConcatenatedPartsJoinBackIntoTheBody) {
  const std::u16string text(400, u'w');
  const std::vector<Octets> units = encode(u"http://example.org/news", text);
  ASSERT_EQ(units.size(), 4u);
  Octets joined;
  for (const Octets& unit : units) {
    const SubmitUnitView view = viewSubmitUnit(unit);
    joined.insert(joined.end(), view.userData.begin() + 12, view.userData.end());
  }
  EXPECT_EQ(joined, PushEncoder::buildPushBody(u"http://example.org/news", text, 0x34));
  const auto decoded = decodePush(joined);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->url, u"http://example.org/news");
  EXPECT_EQ(decoded->text, text);
}

TEST(DecodePushTest, ReadsWhatTheEncoderWrites) {
  struct Case {
    std::u16string url, text, expectedUrl;
  } cases[] = {
      {u"http://a", u"Hi", u"http://a"},
      {u"HTTP://Example.com/x", u"\u044F\U0001F600", u"http://Example.com/x"},
      {u"https://b.net", u"", u"https://b.net"},
      {u"", u"only text", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.url));
    const auto decoded = decodePush(PushEncoder::buildPushBody(c.url, c.text, 9));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->url, c.expectedUrl);
    EXPECT_EQ(decoded->text, c.text);
  }
}

TEST(DecodePushTest, AcceptsJoinedPartsHeldAsText) {
  const Octets body = PushEncoder::buildPushBody(u"http://a.b/\u044F", u"Hi", 0xF0);
  const std::u16string units(body.begin(), body.end());
  const auto decoded = decodePush(units);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->url, u"http://a.b/\u044F");
  EXPECT_EQ(decoded->text, u"Hi");
}

TEST(DecodePushTest, ExpandsPrefixAndSuffixTokens) {
  struct Case {
    const char* name;
    Octets body;
    std::u16string url, text;
  } cases[] = {
      {"SiWwwAndCom",
       concat({{0x01, 0x06, 0x01, 0xAE, 0x02, 0x05, 0x6A, 0x00, 0x45, 0xC6, 0x0D, 0x03},
               ascii("ex"),
               {0x00, 0x85, 0x03},
               ascii("p"),
               {0x00, 0x01, 0x03},
               ascii("T"),
               {0x00, 0x01, 0x01}}),
       u"http://www.ex.com/p", u"T"},
      {"SiHttpsAndSuffixes",
       concat({{0x01, 0x06, 0x01, 0xAE, 0x02, 0x05, 0x6A, 0x00, 0x45, 0xC6, 0x0F, 0x03},
               ascii("a"),
               {0x00, 0x86, 0x88, 0x87, 0x01, 0x01, 0x01}}),
       u"https://www.a.edu/.org/.net/", u""},
      {"SiWithOtherAttributesAndOpaqueDate",
       concat({{0x01, 0x06, 0x01, 0xAE, 0x02, 0x05, 0x6A, 0x00, 0x45, 0xC6, 0x08, 0x11, 0x03},
               ascii("id1"),
               {0x00, 0x0A, 0xC3, 0x07, 0x20, 0x10, 0x05, 0x20, 0x14, 0x30, 0x00, 0x0E, 0x03},
               ascii("s.io"),
               {0x00, 0x01, 0x03},
               ascii("Sale"),
               {0x00, 0x01, 0x01}}),
       u"https://s.io", u"Sale"},
      {"SiStringTable",
       concat({{0x01, 0x06, 0x01, 0xAE, 0x02, 0x05, 0x6A, 0x05},
               ascii("ab"),
               {0x00},
               ascii("c"),
               {0x00, 0x45, 0xC6, 0x0C, 0x83, 0x00, 0x01, 0x83, 0x03, 0x01, 0x01}}),
       u"http://ab", u"c"},
      {"SlHref",
       concat({{0x01, 0x06, 0x01, 0xB0, 0x02, 0x06, 0x6A, 0x00, 0x85, 0x0A, 0x03},
               ascii("a"),
               {0x00, 0x87, 0x01}}),
       u"http://www.a.net/", u""},
      {"SlWithActionBeforeHref",
       concat({{0x01, 0x06, 0x01, 0xB0, 0x02, 0x06, 0x6A, 0x00, 0x85, 0x06, 0x0B, 0x03},
               ascii("s.io/x"),
               {0x00, 0x01}}),
       u"https://s.io/x", u""},
      {"ContentTypeWithParameters",
       concat({{0x01, 0x06, 0x03, 0x02, 0xAE, 0x81, 0x02, 0x05, 0x6A, 0x00, 0x45, 0xC6, 0x0B, 0x03},
               ascii("u"),
               {0x00, 0x01, 0x01, 0x01}}),
       u"u", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto decoded = decodePush(c.body);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->url, c.url);
    EXPECT_EQ(decoded->text, c.text);
  }
}

TEST(DecodePushTest, RefusesWhatIsNotAServiceIndication) {
  const Octets cases[] = {
      {},
      {0x01},
      {0x01, 0x06},
      {0x01, 0x06, 0x00},                                // no headers at all
      {0x01, 0x06, 0x05, 0xAE},                          // headers longer than the data
      {0x01, 0x06, 0x01, 0xB6, 0x02, 0x05},              // another content type
      {0x01, 0x06, 0x01, 0xAE},                          // no body
      {0x01, 0x06, 0x01, 0xAE, 0x02, 0x05, 0x6A, 0x7F},  // string table past the end
  };
  for (const Octets& body : cases) EXPECT_FALSE(decodePush(body).has_value()) << toHex(body);
}

TEST(DecodePushTest, TruncatedBodiesNeverGiveAPartialUrl) {
  const Octets body = PushEncoder::buildPushBody(u"http://example.com/a", u"Text", 1);
  const std::size_t hrefEnd = body.size() - 8;  // just after the attributes' END
  for (std::size_t n = 0; n < body.size(); ++n) {
    const auto decoded = decodePush(std::span(body).first(n));
    if (n < hrefEnd) {
      EXPECT_FALSE(decoded.has_value()) << n;
    } else {
      ASSERT_TRUE(decoded.has_value()) << n;
      EXPECT_EQ(decoded->url, u"http://example.com/a");
    }
  }
}

TEST(DecodePushTest, GarbageNeverCrashes) {
  std::mt19937 random(2948);
  const Octets prefix = {0x01, 0x06, 0x01, 0xAE, 0x02, 0x05, 0x6A, 0x00};
  for (int round = 0; round < 20000; ++round) {
    Octets body = round % 2 == 0 ? prefix : Octets{};
    const std::size_t length = random() % 64;
    for (std::size_t i = 0; i < length; ++i) body.push_back(static_cast<std::uint8_t>(random()));
    (void)decodePush(body);
  }
}

}  // namespace
}  // namespace parlane
