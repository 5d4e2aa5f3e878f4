#include <gtest/gtest.h>

#include <string>

#include "SubmitUnitView.h"
#include "core/util/Utf.h"
#include "gsm/GsmAlphabet.h"
#include "gsm/PduEncoder.h"
#include "message/MessageFlags.h"
#include "message/PushMessage.h"
#include "message/SMSMessage.h"
#include "message/USSDRequest.h"

namespace parlane {
namespace {

using test::SubmitUnitView;
using test::toHex;
using test::viewSubmitUnit;

SMSMessage outgoing(std::u16string to, std::u16string text, std::int32_t ton = 1,
                    std::int32_t flags = 0) {
  SMSMessage message(u"", std::move(to), std::move(text), 1);
  message.dstton = ton;
  message.flags = flags;
  return message;
}

// Reads the text back out of the units the way a phone does, part by part.
std::u16string reassembleGsm7(const std::vector<Octets>& units) {
  std::u16string text;
  for (const Octets& unit : units) {
    const SubmitUnitView view = viewSubmitUnit(unit);
    if ((view.firstOctet & 0x40) == 0) {
      text += gsmSeptetsToText(unpackSeptets(view.userData, 0, view.userDataLength));
      continue;
    }
    const std::size_t headerOctets = std::size_t{view.userData.at(0)} + 1;
    const Octets body(view.userData.begin() + static_cast<std::ptrdiff_t>(headerOctets),
                      view.userData.end());
    text += gsmSeptetsToText(unpackSeptets(body, 1, view.userDataLength - 7u));
  }
  return text;
}

class PduEncoderTest : public ::testing::Test {
 protected:
  PduEncoder encoder{PduEncoderOptions{}};
};

TEST_F(PduEncoderTest, PacksHellohelloAsPublished) {
  EXPECT_EQ(toHex(PduEncoder::packSeptets(PduEncoder::mapToGsmDefault(u"hellohello"))),
            "E8329BFD4697D9EC37");
}

TEST_F(PduEncoderTest, BuildsThePublishedSubmitExample) {
  SMSMessage message = outgoing(u"+46708251358", u"hellohello");
  message.expiry = message.created + 4 * 86400;  // relative validity AA
  const std::vector<Octets> units = encoder.encodeTextSubmit(message);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(toHex(units[0]), "0011000B916407281553F80000AA0AE8329BFD4697D9EC37");
}

TEST_F(PduEncoderTest, PacksPartialGroupsAndIgnoresTheEighthBit) {
  EXPECT_EQ(toHex(PduEncoder::packSeptets({})), "");
  EXPECT_EQ(toHex(PduEncoder::packSeptets({0x41})), "41");
  EXPECT_EQ(toHex(PduEncoder::packSeptets({0xC1})), "41");
  // Eight septets fill seven octets exactly.
  EXPECT_EQ(PduEncoder::packSeptets(Octets(8, 0x7F)), Octets(7, 0xFF));
  // One fill bit first, then the rest packed from a fresh octet.
  EXPECT_EQ(toHex(PduEncoder::packSeptetsAfterHeader({0x61, 0x62})), "C262");
  EXPECT_EQ(toHex(PduEncoder::packSeptetsAfterHeader({})), "");
}

TEST_F(PduEncoderTest, MapsTheDefaultAlphabetCharacters) {
  struct Case {
    std::u16string text;
    Octets septets;
  } cases[] = {
      {u"$", {0x02}},
      {u"@", {0x00}},
      {u"_", {0x11}},
      {u"[", {0x1B, 0x3C}},
      {u"\\", {0x1B, 0x2F}},
      {u"]", {0x1B, 0x3E}},
      {u"^", {0x1B, 0x14}},
      {u"{", {0x1B, 0x28}},
      {u"|", {0x1B, 0x40}},
      {u"}", {0x1B, 0x29}},
      {u"~", {0x1B, 0x3D}},
      {u"`", {0x60}},
      {u"Az09 \r\n", {'A', 'z', '0', '9', ' ', '\r', '\n'}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PduEncoder::mapToGsmDefault(c.text), c.septets) << toHex(c.septets);
  }
}

TEST_F(PduEncoderTest, PrintableAsciiSurvivesTheDecoderAlphabet) {
  std::u16string printable;
  for (char16_t c = 0x20; c < 0x7F; ++c) {
    if (c != u'`') printable.push_back(c);  // the one ASCII character the alphabet lacks
  }
  EXPECT_EQ(gsmSeptetsToText(PduEncoder::mapToGsmDefault(printable)), printable);
}

TEST_F(PduEncoderTest, DetectsCodingByTheHighestUnit) {
  EXPECT_EQ(PduEncoder::detectCoding(u""), SmsCoding::Gsm7);
  EXPECT_EQ(PduEncoder::detectCoding(u"plain {text}\x7F"), SmsCoding::Gsm7);
  EXPECT_EQ(PduEncoder::detectCoding(u"caf\u00E9"), SmsCoding::Ucs2);
  EXPECT_EQ(PduEncoder::detectCoding(u"\u0080"), SmsCoding::Ucs2);
}

// A requested period and the relative TP-VP code that must carry it.
struct ValidityCase {
  const char* name;
  std::int64_t seconds;
  std::uint8_t code;
};

void PrintTo(const ValidityCase& c, std::ostream* os) { *os << c.name; }

class RelativeValidity : public testing::TestWithParam<ValidityCase> {};

TEST_P(RelativeValidity, IsTheSmallestCodeWhosePeriodCoversTheRequest) {
  EXPECT_EQ(PduEncoder::encodeRelativeValidity(GetParam().seconds), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    , RelativeValidity,
    testing::Values(
        ValidityCase{"BeforeCreation", -600, 0}, ValidityCase{"Zero", 0, 0},
        ValidityCase{"FiveMinutes", 300, 0}, ValidityCase{"JustOverFiveMinutes", 301, 1},
        ValidityCase{"TenMinutes", 600, 1}, ValidityCase{"OneHour", 3600, 11},
        ValidityCase{"TwelveHours", 43200, 143}, ValidityCase{"JustOverTwelveHours", 43201, 144},
        ValidityCase{"TwelveAndAHalfHours", 45000, 144}, ValidityCase{"OneDay", 86400, 167},
        ValidityCase{"JustOverOneDay", 86401, 168}, ValidityCase{"TwoDays", 172800, 168},
        ValidityCase{"FourDays", 345600, 170}, ValidityCase{"ThirtyDays", 2592000, 196},
        ValidityCase{"JustOverThirtyDays", 2592001, 197}, ValidityCase{"FiveWeeks", 3024000, 197},
        ValidityCase{"SixtyThreeWeeks", 63 * 604800LL, 255},
        ValidityCase{"SixtyFourWeeks", 64 * 604800LL, 255},
        ValidityCase{"TwoHundredFiftyFiveWeeks", 255 * 604800LL, 255}),
    [](const testing::TestParamInfo<ValidityCase>& info) { return info.param.name; });

TEST_F(PduEncoderTest, EncodesAddressFields) {
  struct Case {
    std::string digits;
    std::int32_t ton;
    std::string hex;
  } cases[] = {
      {"12345", 1, "05912143F5"}, {"1234", 0, "04812143"}, {"1234", 2, "04A12143"},
      {"1234", 3, "04B12143"},    {"1234", 4, "04C12143"}, {"", 1, "0091"},
      {"12aB", 1, "049121BA"},    {"1*#2", 1, "04910120"}, {"1", 9, "0191F1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(toHex(PduEncoder::encodeAddressField(c.digits, c.ton)), c.hex) << c.digits;
  }
}

TEST_F(PduEncoderTest, BuildsConcatenationElements) {
  EXPECT_EQ(toHex(PduEncoder::buildConcatElement(0xC8, 3, 2)), "0003C80302");
}

TEST_F(PduEncoderTest, EncodesUcs2HighOctetFirst) {
  EXPECT_EQ(toHex(PduEncoder::encodeUcs2(u"A\u044F\U0001F600")), "0041044FD83DDE00");
}

TEST_F(PduEncoderTest, PutsTheServiceCentreFieldFirstWhenAsked) {
  struct Case {
    bool inPdu;
    std::u16string address;
    std::string field;
  } cases[] = {
      {true, u"+12345", "04912143F5"},
      {true, u"+7 (912) 000-00-01", "07919721000000F1"},
      {true, u"", "00"},
      {false, u"+12345", "00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.address) + (c.inPdu ? " in the PDU" : " left out"));
    const PduEncoder encoder(PduEncoderOptions{0, c.inPdu, c.address, {}});
    const Octets header =
        encoder.buildSubmitHeader("1", 1, SmsCoding::Gsm7, 0, false, false, false, false);
    EXPECT_EQ(toHex(header).substr(0, c.field.size()), c.field);
    EXPECT_EQ(encoder.smscFieldLength(), c.field.size() / 2);
  }
}

TEST_F(PduEncoderTest, HeaderCarriesFlagsAndCoding) {
  struct Case {
    SmsCoding coding;
    bool binary, header, flash, report;
    std::uint8_t firstOctet, dcs;
  } cases[] = {
      {SmsCoding::Gsm7, false, false, false, false, 0x11, 0x00},
      {SmsCoding::Gsm7, false, false, true, false, 0x11, 0x10},
      {SmsCoding::Ucs2, false, false, true, false, 0x11, 0x18},
      {SmsCoding::Data8, false, false, true, false, 0x11, 0x14},
      {SmsCoding::Gsm7, false, true, false, true, 0x71, 0x00},
      {SmsCoding::Gsm7, false, false, false, true, 0x31, 0x00},
      {SmsCoding::Gsm7, true, true, true, false, 0x51, 0xF5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "DCS " << static_cast<int>(c.dcs) << ", first octet "
                                    << static_cast<int>(c.firstOctet));
    Octets unit = encoder.buildSubmitHeader("12345", 1, c.coding, 86400, c.binary, c.header,
                                            c.flash, c.report);
    unit.push_back(0);  // empty user data, so the view sees a whole unit
    const SubmitUnitView view = viewSubmitUnit(unit);
    ASSERT_TRUE(view.complete);
    EXPECT_EQ(view.firstOctet, c.firstOctet);
    EXPECT_EQ(view.messageReference, 0);
    EXPECT_EQ(view.pid, 0);
    EXPECT_EQ(view.dcs, c.dcs);
    EXPECT_EQ(view.validity, 167);
  }
}

// Texts and how they must be cut: units, and TP-UDL of each.
struct SplitCase {
  const char* name;
  std::u16string text;
  int lengthCorrection;
  std::vector<int> userDataLengths;
};

std::u16string repeat(std::u16string_view piece, std::size_t times) {
  std::u16string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class PduEncoderSplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(PduEncoderSplitTest, CutsIntoTheRightParts) {
  const SplitCase& c = GetParam();
  const PduEncoder encoder(PduEncoderOptions{c.lengthCorrection, false, {}, {}});
  const std::vector<Octets> units = encoder.encodeTextSubmit(outgoing(u"12345", c.text));
  ASSERT_EQ(units.size(), c.userDataLengths.size());
  const std::size_t total = units.size();
  std::u16string ucs2Text;
  for (std::size_t i = 0; i < total; ++i) {
    const SubmitUnitView view = viewSubmitUnit(units[i]);
    ASSERT_TRUE(view.complete);
    EXPECT_EQ(view.userDataLength, c.userDataLengths[i]) << "part " << i + 1;
    EXPECT_LE(view.userData.size(), 140u);
    const bool ucs2 = view.dcs == 0x08;
    if (total == 1) {
      EXPECT_EQ(view.firstOctet, 0x11);
      if (ucs2) {
        EXPECT_EQ(view.userData.size(), view.userDataLength);
      }
    } else {
      EXPECT_EQ(view.firstOctet, 0x51);
      ASSERT_GE(view.userData.size(), 6u);
      EXPECT_EQ(view.userData[0], 0x05);
      EXPECT_EQ(view.userData[1], 0x00);
      EXPECT_EQ(view.userData[2], 0x03);
      EXPECT_EQ(view.userData[3], viewSubmitUnit(units[0]).userData[3]) << "one reference";
      EXPECT_EQ(view.userData[4], total);
      EXPECT_EQ(view.userData[5], i + 1);
    }
    if (ucs2) {
      const std::size_t skip = total == 1 ? 0 : 6;
      for (std::size_t k = skip; k + 1 < view.userData.size(); k += 2) {
        ucs2Text.push_back(static_cast<char16_t>(view.userData[k] << 8 | view.userData[k + 1]));
      }
    } else {
      // Exactly as many octets as the septets need.
      const std::size_t bits = std::size_t{view.userDataLength} * 7;
      EXPECT_EQ(view.userData.size(), (bits + 7) / 8);
    }
  }
  if (PduEncoder::detectCoding(c.text) == SmsCoding::Ucs2) {
    EXPECT_EQ(ucs2Text, c.text);
  } else {
    EXPECT_EQ(reassembleGsm7(units), c.text);
  }
}

const std::u16string kCyrillic = u"\u044F";
const std::u16string kSmile = u"\U0001F600";

INSTANTIATE_TEST_SUITE_P(
    Boundaries, PduEncoderSplitTest,
    ::testing::Values(
        SplitCase{"Empty", u"", 0, {0}}, SplitCase{"Septets160", repeat(u"a", 160), 0, {160}},
        SplitCase{"Septets161", repeat(u"a", 161), 0, {160, 15}},
        SplitCase{"Septets306", repeat(u"b", 306), 0, {160, 160}},
        SplitCase{"Septets307", repeat(u"b", 307), 0, {160, 160, 8}},
        // A bracket counts two septets: 159 + 2 no longer fits one unit.
        SplitCase{"EscapePairCountsTwo", repeat(u"a", 158) + u"{", 0, {160}},
        SplitCase{"EscapePairOverflows", repeat(u"a", 159) + u"{", 0, {160, 15}},
        // The pair would straddle septets 153/154: it moves whole into part 2.
        SplitCase{
            "EscapePairAtBoundary", repeat(u"a", 152) + u"{" + repeat(u"a", 20), 0, {159, 29}},
        SplitCase{"EscapePairJustFits", repeat(u"a", 151) + u"{" + repeat(u"a", 20), 0, {160, 27}},
        SplitCase{"Ucs2Chars70", repeat(kCyrillic, 70), 0, {140}},
        SplitCase{"Ucs2Chars71", repeat(kCyrillic, 71), 0, {140, 14}},
        // Surrogate pairs are two units each.
        SplitCase{"SurrogatesFill70", repeat(kSmile, 35), 0, {140}},
        SplitCase{"SurrogatesOverflow", repeat(kSmile, 35) + u"x", 0, {138, 16}},
        SplitCase{"SurrogateAtBoundary",
                  repeat(kCyrillic, 66) + kSmile + repeat(kCyrillic, 10),
                  0,
                  {138, 30}},
        // Correction 1 leaves 138 octets: 157 septets in one unit, 150 per part.
        SplitCase{"Correction157", repeat(u"c", 157), 1, {157}},
        SplitCase{"Correction158", repeat(u"c", 158), 1, {157, 15}},
        SplitCase{"CorrectionUcs2", repeat(kCyrillic, 70), 2, {138, 14}},
        // A correction leaving fewer than 8 octets, or a negative one, is ignored.
        SplitCase{"CorrectionTooLarge", repeat(u"d", 160), 133, {160}},
        SplitCase{"CorrectionLargestUsable", repeat(u"d", 10), 132, {9, 9, 9, 9, 9}},
        SplitCase{"CorrectionNegative", repeat(u"d", 161), -10, {160, 15}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

TEST_F(PduEncoderTest, EscapeAtBoundaryStartsTheNextPart) {
  const std::vector<Octets> units =
      encoder.encodeTextSubmit(outgoing(u"12345", repeat(u"a", 152) + u"{" + repeat(u"b", 10)));
  ASSERT_EQ(units.size(), 2u);
  const SubmitUnitView second = viewSubmitUnit(units[1]);
  const Octets body(second.userData.begin() + 6, second.userData.end());
  EXPECT_EQ(unpackSeptets(body, 1, 3), (Octets{0x1B, 0x28, 'b'}));
}

TEST_F(PduEncoderTest, SurrogatePairAtBoundaryStartsTheNextPart) {
  const std::vector<Octets> units =
      encoder.encodeTextSubmit(outgoing(u"12345", repeat(kCyrillic, 66) + kSmile + u"zzz"));
  ASSERT_EQ(units.size(), 2u);
  const SubmitUnitView second = viewSubmitUnit(units[1]);
  EXPECT_EQ(toHex(Octets(second.userData.begin() + 6, second.userData.end())),
            "D83DDE00007A007A007A");
}

TEST_F(PduEncoderTest, FlashAndReportReachEveryPart) {
  const auto flags = messageFlags::kFlash | messageFlags::kReport;
  for (const std::u16string& text : {repeat(u"a", 161), repeat(kCyrillic, 71)}) {
    const std::vector<Octets> units = encoder.encodeTextSubmit(outgoing(u"1", text, 1, flags));
    ASSERT_EQ(units.size(), 2u);
    for (const Octets& unit : units) {
      const SubmitUnitView view = viewSubmitUnit(unit);
      EXPECT_EQ(view.firstOctet, 0x71);
      EXPECT_EQ(view.dcs, text[0] == u'a' ? 0x10 : 0x18);
    }
  }
}

TEST_F(PduEncoderTest, NormalizesTheDestinationWithItsTon) {
  struct Case {
    std::u16string to;
    std::int32_t ton;
    std::string address;
  } cases[] = {
      {u"+44 (20) 794-600", 1, "0A914402976400"},
      {u"0044123", 1, "05914421F3"},
      {u"0044123", 2, "07A1004421F3"},
      {u"12/note", 0, "028121"},
      {u"*100#", 4, "05C11000F0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.to));
    const SubmitUnitView view =
        viewSubmitUnit(encoder.encodeTextSubmit(outgoing(c.to, u"x", c.ton))[0]);
    EXPECT_EQ(toHex(view.address), c.address);
  }
}

TEST_F(PduEncoderTest, UsesTheMessageValidity) {
  SMSMessage message = outgoing(u"1", u"x");
  EXPECT_EQ(viewSubmitUnit(encoder.encodeTextSubmit(message)[0]).validity, 167);  // one day
  message.expiry = message.created + 43200;
  EXPECT_EQ(viewSubmitUnit(encoder.encodeTextSubmit(message)[0]).validity, 143);
}

TEST_F(PduEncoderTest, BinarySubmitIsOneUnitOfLowOctets) {
  SMSMessage message = outgoing(u"1", u"A\u0142\u00FF", 1, messageFlags::kFlash);
  const std::vector<Octets> units = encoder.encodeBinarySubmit(message);
  ASSERT_EQ(units.size(), 1u);
  const SubmitUnitView view = viewSubmitUnit(units[0]);
  EXPECT_EQ(view.firstOctet, 0x11);
  EXPECT_EQ(view.dcs, 0x14);
  EXPECT_EQ(view.userDataLength, 3);
  EXPECT_EQ(toHex(view.userData), "4142FF");

  message.content = repeat(u"z", 200);
  message.flags = 0;
  const SubmitUnitView longView = viewSubmitUnit(encoder.encodeBinarySubmit(message)[0]);
  EXPECT_EQ(longView.dcs, 0x04);
  EXPECT_EQ(longView.userDataLength, 140);
  EXPECT_EQ(longView.userData.size(), 140u);
}

TEST_F(PduEncoderTest, EncodeOutgoingDispatchesOnTheKind) {
  EXPECT_EQ(encoder.encodeOutgoing(outgoing(u"1", u"hi")).size(), 1u);
  const PushMessage push(u"", u"1", u"Hi", u"http://a", 7);
  const std::vector<Octets> units = encoder.encodeOutgoing(push);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(viewSubmitUnit(units[0]).dcs, 0xF5);
  EXPECT_TRUE(encoder.encodeOutgoing(USSDRequest(u"", u"", u"*100#", 1)).empty());
}

// Total and sequence number are single octets: 255 parts is the most one message can have. A
// longer text is refused with the reason, never sent cut short.
struct PartLimitCase {
  const char* name;
  std::u16string text;
  std::size_t units;  // 0: refused
  const char* refusal;
};

void PrintTo(const PartLimitCase& c, std::ostream* os) { *os << c.name; }

class PduEncoderPartLimitTest : public ::testing::TestWithParam<PartLimitCase> {};

TEST_P(PduEncoderPartLimitTest, RefusesMoreThan255Parts) {
  const PduEncoder encoder(PduEncoderOptions{});
  std::string refusal;
  const std::vector<Octets> units =
      encoder.encodeOutgoing(outgoing(u"12345", GetParam().text), &refusal);
  EXPECT_EQ(units.size(), GetParam().units);
  EXPECT_EQ(refusal, GetParam().refusal);
  if (!units.empty()) {
    EXPECT_EQ(viewSubmitUnit(units.back()).userData[4], GetParam().units);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PduEncoderPartLimitTest,
    ::testing::Values(
        PartLimitCase{"Gsm7Fits", repeat(u"a", 153 * 255), 255, ""},
        PartLimitCase{"Gsm7OneSeptetMore", repeat(u"a", 153 * 255 + 1), 0,
                      "the message needs 256 parts, more than the 255 that one message can have"},
        PartLimitCase{"FortyThousandCharacters", repeat(u"a", 40000), 0,
                      "the message needs 262 parts, more than the 255 that one message can have"},
        PartLimitCase{"Ucs2Fits", repeat(u"\u044F", 67 * 255), 255, ""},
        PartLimitCase{"Ucs2OneCharacterMore", repeat(u"\u044F", 67 * 255 + 1), 0,
                      "the message needs 256 parts, more than the 255 that one message can have"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PduEncoderTest, PartsOfOneMessageShareAReference) {
  const std::vector<Octets> units = encoder.encodeTextSubmit(outgoing(u"1", repeat(u"e", 500)));
  ASSERT_EQ(units.size(), 4u);
  for (const Octets& unit : units) {
    EXPECT_EQ(viewSubmitUnit(unit).userData[3], viewSubmitUnit(units[0]).userData[3]);
  }
}

// What the HTTP door's sendsms fields ask of a unit: the coding, the class, 8-bit data.
struct AskedUnitCase {
  std::string name;
  std::u16string text;
  std::int32_t flags;
  std::uint8_t firstOctet;
  std::uint8_t dcs;
  std::uint8_t userDataLength;
  std::string userData;  // hexadecimal
};

void PrintTo(const AskedUnitCase& c, std::ostream* os) { *os << c.name; }

class PduEncoderAskedUnitTest : public testing::TestWithParam<AskedUnitCase> {};

TEST_P(PduEncoderAskedUnitTest, FollowsTheFlags) {
  const PduEncoder encoder{PduEncoderOptions{}};
  const SMSMessage message = outgoing(u"+4915112345671", GetParam().text, 1, GetParam().flags);
  std::string refusal;
  const std::vector<Octets> units = encoder.encodeOutgoing(message, &refusal);
  ASSERT_EQ(units.size(), 1u) << refusal;
  const SubmitUnitView view = viewSubmitUnit(units[0]);
  ASSERT_TRUE(view.complete);
  EXPECT_EQ(view.firstOctet, GetParam().firstOctet);
  EXPECT_EQ(view.dcs, GetParam().dcs);
  EXPECT_EQ(view.userDataLength, GetParam().userDataLength);
  EXPECT_EQ(toHex(view.userData), GetParam().userData);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PduEncoderAskedUnitTest,
    testing::Values(
        AskedUnitCase{"Ucs2ForAsciiText", u"Hi", messageFlags::kUcs2, 0x11, 0x08, 4, "00480069"},
        AskedUnitCase{"ClassOne", u"A", 1 << messageFlags::kClassShift, 0x11, 0x11, 1, "41"},
        AskedUnitCase{"ClassTwoUcs2", u"A", messageFlags::kUcs2 | (2 << messageFlags::kClassShift),
                      0x11, 0x1A, 2, "0041"},
        AskedUnitCase{"ClassThree", u"A", 3 << messageFlags::kClassShift, 0x11, 0x13, 1, "41"},
        AskedUnitCase{"FlashWinsOverClass", u"A",
                      messageFlags::kFlash | (2 << messageFlags::kClassShift), 0x11, 0x10, 1, "41"},
        AskedUnitCase{"BinaryData", u"00ff0a09", messageFlags::kBinary, 0x11, 0x04, 4, "00FF0A09"},
        AskedUnitCase{"BinaryWithHeader", u"0605040B8423F0AA",
                      messageFlags::kBinary | messageFlags::kUserDataHeader, 0x51, 0x04, 8,
                      "0605040B8423F0AA"},
        AskedUnitCase{
            "BinaryClassOneWithReport", u"01",
            messageFlags::kBinary | messageFlags::kReport | (1 << messageFlags::kClassShift), 0x31,
            0x15, 1, "01"}),
    [](const testing::TestParamInfo<AskedUnitCase>& info) { return info.param.name; });

struct BadDataCase {
  std::string name;
  std::u16string text;
};

void PrintTo(const BadDataCase& c, std::ostream* os) { *os << c.name; }

class PduEncoderBadDataTest : public testing::TestWithParam<BadDataCase> {};

TEST_P(PduEncoderBadDataTest, GivesNoUnitAndAReason) {
  const PduEncoder encoder{PduEncoderOptions{}};
  const SMSMessage message = outgoing(u"+4915112345671", GetParam().text, 1, messageFlags::kBinary);
  std::string refusal;
  EXPECT_TRUE(encoder.encodeOutgoing(message, &refusal).empty());
  EXPECT_FALSE(refusal.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, PduEncoderBadDataTest,
                         testing::Values(BadDataCase{"NotHex", u"zz"},
                                         BadDataCase{"OddDigits", u"abc"},
                                         BadDataCase{"MoreThanOneUnit", std::u16string(282, u'a')}),
                         [](const testing::TestParamInfo<BadDataCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace parlane
