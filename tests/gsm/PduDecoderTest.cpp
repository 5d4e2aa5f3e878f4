#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "gsm/HexOctets.h"
#include "gsm/PduAddressValue.h"
#include "gsm/PduDecoder.h"

namespace parlane {
namespace {

// Broken-down local time, so the cases read the same in any time zone.
struct LocalFields {
  int year, month, day, hour, minute, second;
};

LocalFields toFields(std::time_t when) {
  std::tm t{};
  localtime_r(&when, &t);
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

void expectTime(std::time_t when, const LocalFields& expected) {
  const auto got = toFields(when);
  EXPECT_EQ(got.year, expected.year);
  EXPECT_EQ(got.month, expected.month);
  EXPECT_EQ(got.day, expected.day);
  EXPECT_EQ(got.hour, expected.hour);
  EXPECT_EQ(got.minute, expected.minute);
  EXPECT_EQ(got.second, expected.second);
}

std::vector<std::uint8_t> Octets(const std::string& hex) {
  auto octets = hexToOctets(hex);
  EXPECT_TRUE(octets.has_value()) << hex;
  return octets.value_or(std::vector<std::uint8_t>{});
}

constexpr LocalFields kMay20 = {2010, 5, 20, 14, 30, 0};

struct DeliverCase {
  const char* name;
  const char* hex;
  std::u16string party;
  std::u16string text;
  SmsCoding coding;
  int reference;
  int total;
  int index;
  int port;
  LocalFields time;
};

const DeliverCase kDeliverCases[] = {
    {"SevenBitOddDigitSender",
     "0791447758100650040D91945112325476F80000015002410300400AE8329BFD4697D9EC37",
     u"+4915212345678", u"hellohello", SmsCoding::Gsm7, 0, 1, 0, 0, kMay20},
    {"EscapePairsAndSpecialPositions",
     "0791447758100650040681214365000001500241030040161BD486B7296F7C9B140810886C5E1BE0A6B7A100",
     u"123456", u"{[€]} @£_\\|~^", SmsCoding::Gsm7, 0, 1, 0, 0, kMay20},
    {"SevenSeptetsGiveNoTrailingAt",
     "07914477581006500406812143650000015002410300400741E19058341E01", u"123456", u"ABCDEFG",
     SmsCoding::Gsm7, 0, 1, 0, 0, kMay20},
    {"EightBitKeepsEveryOctet", "079144775810065004068121436500040150024103004004007F80FF",
     u"123456", std::u16string(u"\0\x7F\x80\xFF", 4), SmsCoding::Data8, 0, 1, 0, 0, kMay20},
    {"Ucs2WithSurrogatePair",
     "079144775810065004068121436500080150024103004012041F044004380432043504420020D83DDE00",
     u"123456", u"Привет 😀", SmsCoding::Ucs2, 0, 1, 0, 0, kMay20},
    {"AlphanumericSenderOfSevenCharacters",
     "0791447758100650040DD0D0B09C1D76970100000150024103004002C834", u"Parlane", u"Hi",
     SmsCoding::Gsm7, 0, 1, 0, 0, kMay20},
    {"AlphanumericSenderThroughTheAlphabet",
     "07914477581006500407D0E188180000000150024103004002C834", u"a_b@", u"Hi", SmsCoding::Gsm7, 0,
     1, 0, 0, kMay20},
    {"ConcatEightBitReferenceSkipsOneFillBit",
     "0791447758100650440D91945112325476F800000150024103004012050003C80201A6E5F1DB4D06C1C3723A",
     u"+4915212345678", u"Second part", SmsCoding::Gsm7, 200, 2, 0, 0, kMay20},
    {"ConcatSixteenBitReferenceSkipsNoFillBit",
     "0791447758100650440D91945112325476F80000015002410300401206080412C8030254745A4E06C1C3723A",
     u"+4915212345678", u"Third part", SmsCoding::Gsm7, 4808, 3, 1, 0, kMay20},
    {"ConcatEightBitDataKeepsItsLastOctet",
     "07914477581006504406812143650004015002410300400A05000307020241424344", u"123456", u"ABCD",
     SmsCoding::Data8, 7, 2, 1, 0, kMay20},
    {"ConcatUcs2",
     "0791447758100650440681214365000801500241030040100500032A020203A903BC03AD03B303B1", u"123456",
     u"Ωμέγα", SmsCoding::Ucs2, 42, 2, 1, 0, kMay20},
    {"UnknownElementAfterConcat",
     "07914477581006504406812143650008015002410300400B0800032A02027001000042", u"123456", u"B",
     SmsCoding::Ucs2, 42, 2, 1, 0, kMay20},
    {"ShortConcatElementStopsTheHeaderTwoFillBits",
     "079144775810065044068121436500000150024103004008040002050220D3", u"123456", u"Hi",
     SmsCoding::Gsm7, 0, 1, 0, 0, kMay20},
    {"PartNumberZeroIsVoid", "0791447758100650440681214365000001500241030040090500030502009069",
     u"123456", u"Hi", SmsCoding::Gsm7, 0, 1, 0, 0, kMay20},
    {"PartNumberBeyondTotalIsVoid",
     "0791447758100650440681214365000001500241030040090500030502039069", u"123456", u"Hi",
     SmsCoding::Gsm7, 0, 1, 0, 0, kMay20},
    {"PortAddressedBinary",
     "079144775810065044068121436500F5015002410300400B0605040B8423F0010601AE", u"123456",
     u"\x01\x06\x01\xAE", SmsCoding::Data8, 0, 1, 0, 1, kMay20},
    {"EmptyText", "079144775810065004068121436500000150024103004000", u"123456", u"",
     SmsCoding::Gsm7, 0, 1, 0, 0, kMay20},
    {"NegativeTimeZoneIsIgnored",
     "079144775810065004068121436500006221903295852904EC30BD0C",
     u"123456",
     u"late",
     SmsCoding::Gsm7,
     0,
     1,
     0,
     0,
     {2026, 12, 9, 23, 59, 58}},
    {"YearFiftyAndAboveIsNineteenHundreds",
     "0791447758100650040681214365000099309251619580036F3619",
     u"123456",
     u"old",
     SmsCoding::Gsm7,
     0,
     1,
     0,
     0,
     {1999, 3, 29, 15, 16, 59}},
    {"NoServiceCentreAddress", "0004068121436500000150024103004002C834", u"123456", u"Hi",
     SmsCoding::Gsm7, 0, 1, 0, 0, kMay20},
    {"MessageWaitingGroupIsSevenBit",
     "079144775810065004068121436500C80150024103004009D6777A5C6E87D36C", u"123456", u"Voicemail",
     SmsCoding::Gsm7, 0, 1, 0, 0, kMay20},
    {"DataGroupSevenBit", "079144775810065004068121436500F101500241030040094376783E07BDDD65",
     u"123456", u"Class one", SmsCoding::Gsm7, 0, 1, 0, 0, kMay20},
    {"FlashUcs2", "0791447758100650040681214365001801500241030040020416", u"123456", u"Ж",
     SmsCoding::Ucs2, 0, 1, 0, 0, kMay20},
};

void PrintTo(const DeliverCase& c, std::ostream* os) { *os << c.name; }

class DeliverDecoding : public testing::TestWithParam<DeliverCase> {
 protected:
  PduDecoderOptions options_;
};

TEST_P(DeliverDecoding, KnownAnswer) {
  const auto& c = GetParam();
  const auto pdu = decodeDeliverPdu(Octets(c.hex), options_);
  ASSERT_TRUE(pdu.has_value());
  EXPECT_EQ(pdu->kind, ReceivedPdu::kDeliver);
  EXPECT_EQ(pdu->party, c.party);
  EXPECT_EQ(pdu->text, c.text);
  EXPECT_EQ(pdu->coding, c.coding);
  EXPECT_EQ(pdu->reference, c.reference);
  EXPECT_EQ(pdu->total, c.total);
  EXPECT_EQ(pdu->index, c.index);
  EXPECT_EQ(pdu->portAddressed, c.port);
  EXPECT_EQ(pdu->memoryIndex, -1);
  expectTime(pdu->time, c.time);
}

// Every length is checked against the real end: no prefix of a valid PDU decodes, and none reads
// past the end (the copy is exactly as long as the prefix, so a sanitizer sees any overrun).
TEST_P(DeliverDecoding, EveryTruncationIsRejected) {
  const auto octets = Octets(GetParam().hex);
  for (std::size_t length = 0; length < octets.size(); ++length) {
    const std::vector<std::uint8_t> prefix(octets.begin(),
                                           octets.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_FALSE(decodeDeliverPdu(prefix, options_).has_value()) << "length " << length;
  }
}

INSTANTIATE_TEST_SUITE_P(Pdu, DeliverDecoding, testing::ValuesIn(kDeliverCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DeliverHeader, KeptWithoutItsLengthOctet) {
  const PduDecoderOptions options;
  const auto pdu = decodeDeliverPdu(
      Octets("0791447758100650440D91945112325476F80000015002410300401206080412C8030254745A4E06C1"
             "C3723A"),
      options);
  ASSERT_TRUE(pdu.has_value());
  EXPECT_EQ(pdu->header, (std::vector<std::uint8_t>{0x08, 0x04, 0x12, 0xC8, 0x03, 0x02}));
  const auto plain = decodeDeliverPdu(Octets("0004068121436500000150024103004002C834"), options);
  ASSERT_TRUE(plain.has_value());
  EXPECT_TRUE(plain->header.empty());
}

TEST(DeliverUserData, OctetsBeyondTheAnnouncedLengthAreIgnored) {
  const PduDecoderOptions options;
  const auto pdu =
      decodeDeliverPdu(Octets("079144775810065004068121436500000150024103004002C834AABB"), options);
  ASSERT_TRUE(pdu.has_value());
  EXPECT_EQ(pdu->text, u"Hi");
}

TEST(DeliverPort, ElementForcesEightBitWhateverTheScheme) {
  const PduDecoderOptions options;
  const auto pdu = decodeDeliverPdu(
      Octets("07914477581006504406812143650004015002410300400B0605040B8423F0010601AE"), options);
  ASSERT_TRUE(pdu.has_value());
  EXPECT_EQ(pdu->coding, SmsCoding::Data8);
  EXPECT_EQ(pdu->portAddressed, 1);
  EXPECT_EQ(pdu->text, u"\x01\x06\x01\xAE");
}

struct RejectCase {
  const char* name;
  const char* hex;
};

const RejectCase kRejectCases[] = {
    {"Empty", ""},
    {"ServiceCentreFieldOnly", "0791447758100650"},
    {"ServiceCentreLengthPastTheEnd", "FF0011"},
    {"SubmitReadBackFromMemory", "0011000681214365000000AA00"},
    {"ReservedMessageType", "0007068121436500000150024103004002C834"},
    {"SenderPastTheEnd", "00040D9194511232"},
    {"TimeStampCutShort", "0004068121436500000150024103"},
    {"NoUserDataLength", "00040681214365000001500241030040"},
    {"UserDataShorterThanAnnounced", "0004068121436500000150024103004005C834"},
    {"HeaderLongerThanUserData", "0044068121436500040150024103004003050003"},
    {"AnnouncedLengthShorterThanHeader", "0044068121436500040150024103004002050003070201"},
    {"AnnouncedSeptetsShorterThanHeader", "0044068121436500000150024103004006050003070201"},
    {"HeaderFlagWithoutUserData", "0044068121436500040150024103004000"},
};

void PrintTo(const RejectCase& c, std::ostream* os) { *os << c.name; }

class DeliverRejection : public testing::TestWithParam<RejectCase> {};

TEST_P(DeliverRejection, GivesNothing) {
  const PduDecoderOptions options;
  const auto octets = hexToOctets(GetParam().hex);
  if (!octets) return;  // damaged hex never reaches the decoder
  EXPECT_FALSE(decodeDeliverPdu(*octets, options).has_value());
  EXPECT_FALSE(decodeStatusReportPdu(*octets, options).has_value());
}

INSTANTIATE_TEST_SUITE_P(Pdu, DeliverRejection, testing::ValuesIn(kRejectCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct StatusReportCase {
  const char* name;
  const char* hex;
  bool noServiceCentreField;
  int messageReference;
  std::u16string recipient;
  int status;
};

const LocalFields kSent = {2026, 12, 9, 10, 0, 0};
const LocalFields kDischarged = {2026, 12, 9, 10, 0, 5};

const StatusReportCase kStatusReportCases[] = {
    {"WithServiceCentre", "0791447758100650062A0D91945112325476F8622190010000406221900100504000",
     false, 42, u"+4915212345678", 0x00},
    {"EmptyServiceCentreField", "0006070D91945112325476F8622190010000406221900100504030", false, 7,
     u"+4915212345678", 0x30},
    {"WithoutServiceCentreField", "06D60B911326880736F4622190010000406221900100504043", true, 214,
     u"+31628870634", 0x43},
};

void PrintTo(const StatusReportCase& c, std::ostream* os) { *os << c.name; }

class StatusReportDecoding : public testing::TestWithParam<StatusReportCase> {
 protected:
  void SetUp() override { options_.statusReportWithoutSmsc = GetParam().noServiceCentreField; }
  PduDecoderOptions options_;
};

TEST_P(StatusReportDecoding, KnownAnswer) {
  const auto& c = GetParam();
  const auto pdu = decodeStatusReportPdu(Octets(c.hex), options_);
  ASSERT_TRUE(pdu.has_value());
  EXPECT_EQ(pdu->kind, ReceivedPdu::kStatusReport);
  EXPECT_EQ(pdu->messageReference, c.messageReference);
  EXPECT_EQ(pdu->party, c.recipient);
  EXPECT_EQ(pdu->status, c.status);
  expectTime(pdu->time, kSent);
  expectTime(pdu->dischargeTime, kDischarged);
}

TEST_P(StatusReportDecoding, EveryTruncationIsRejected) {
  const auto octets = Octets(GetParam().hex);
  for (std::size_t length = 0; length < octets.size(); ++length) {
    const std::vector<std::uint8_t> prefix(octets.begin(),
                                           octets.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_FALSE(decodeStatusReportPdu(prefix, options_).has_value()) << "length " << length;
  }
}

TEST_P(StatusReportDecoding, ReadsTheOtherLayoutAsNothing) {
  // The setting says the opposite of what the PDU holds: the type check fails.
  PduDecoderOptions flipped;
  flipped.statusReportWithoutSmsc = !GetParam().noServiceCentreField;
  EXPECT_FALSE(decodeStatusReportPdu(Octets(GetParam().hex), flipped).has_value());
}

INSTANTIATE_TEST_SUITE_P(Pdu, StatusReportDecoding, testing::ValuesIn(kStatusReportCases),
                         [](const auto& info) { return std::string(info.param.name); });

// An address field (type octet and digits, after a length of `semiOctets`) and the number the
// inbox, the reports and the replies get from it.
struct AddressCase {
  const char* name;
  const char* hex;
  unsigned semiOctets;
  std::u16string number;
};

void PrintTo(const AddressCase& c, std::ostream* os) { *os << c.name; }

class AddressTypes : public testing::TestWithParam<AddressCase> {};

TEST_P(AddressTypes, InternationalNumbersKeepTheirPlus) {
  EXPECT_EQ(decodeAddressValue(Octets(GetParam().hex), GetParam().semiOctets), GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(
    Pdu, AddressTypes,
    testing::Values(AddressCase{"International", "91945112325476F8", 13, u"+4915212345678"},
                    AddressCase{"InternationalUnknownPlan", "90945112325476F8", 13,
                                u"+4915212345678"},
                    AddressCase{"Unknown", "81214365", 6, u"123456"},
                    AddressCase{"National", "A1103254", 6, u"012345"},
                    AddressCase{"NetworkSpecific", "B12143F5", 5, u"12345"},
                    AddressCase{"InternationalWithoutDigits", "91FF", 0, u""},
                    AddressCase{"Alphanumeric", "D0D0B09C1D769701", 13, u"Parlane"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StatusReportThroughDeliver, IsHandedOn) {
  const PduDecoderOptions options;
  const auto pdu = decodeDeliverPdu(
      Octets("0791447758100650062A0D91945112325476F8622190010000406221900100504000"), options);
  ASSERT_TRUE(pdu.has_value());
  EXPECT_EQ(pdu->kind, ReceivedPdu::kStatusReport);
  EXPECT_EQ(pdu->messageReference, 42);
}

}  // namespace
}  // namespace parlane
