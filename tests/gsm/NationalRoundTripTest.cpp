#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SubmitUnitView.h"
#include "core/util/Utf.h"
#include "gsm/GsmAlphabet.h"
#include "gsm/NationalTables.h"
#include "gsm/PduDecoder.h"
#include "gsm/PduEncoder.h"
#include "gsm/SubmitPduText.h"
#include "message/SMSMessage.h"

namespace parlane {
namespace {

using test::SubmitUnitView;
using test::viewSubmitUnit;

// The SMS-DELIVER a phone receives for an SMS-SUBMIT unit: same address, coding and user data.
Octets deliverFor(const SubmitUnitView& submit) {
  Octets deliver = {0x00, static_cast<std::uint8_t>(0x04 | (submit.firstOctet & 0x40))};
  deliver.insert(deliver.end(), submit.address.begin(), submit.address.end());
  deliver.push_back(submit.pid);
  deliver.push_back(submit.dcs);
  for (std::uint8_t octet : {0x62, 0x21, 0x90, 0x01, 0x00, 0x00, 0x00}) deliver.push_back(octet);
  deliver.push_back(submit.userDataLength);
  deliver.insert(deliver.end(), submit.userData.begin(), submit.userData.end());
  return deliver;
}

struct RoundTripCase {
  const char* name;
  int language;
  bool locking;
};

void PrintTo(const RoundTripCase& c, std::ostream* out) { *out << c.name; }

const RoundTripCase kTables[] = {
    {"DefaultLock", 0, true},      {"DefaultShift", 0, false},   {"TurkishLock", 1, true},
    {"TurkishShift", 1, false},    {"SpanishShift", 2, false},   {"PortugueseLock", 3, true},
    {"PortugueseShift", 3, false}, {"BengaliLock", 4, true},     {"BengaliShift", 4, false},
    {"GujaratiLock", 5, true},     {"GujaratiShift", 5, false},  {"HindiLock", 6, true},
    {"HindiShift", 6, false},      {"KannadaLock", 7, true},     {"KannadaShift", 7, false},
    {"MalayalamLock", 8, true},    {"MalayalamShift", 8, false}, {"OriyaLock", 9, true},
    {"OriyaShift", 9, false},      {"PunjabiLock", 10, true},    {"PunjabiShift", 10, false},
    {"TamilLock", 11, true},       {"TamilShift", 11, false},    {"TeluguLock", 12, true},
    {"TeluguShift", 12, false},    {"UrduLock", 13, true},       {"UrduShift", 13, false},
};

// Every character the table assigns, in septet order; the escape is no character.
std::u16string charactersOf(const SeptetTable& table) {
  std::u16string text;
  for (std::size_t septet = 0; septet < table.size(); ++septet) {
    if (table[septet] != 0 && septet != kGsmEscape) text.push_back(table[septet]);
  }
  return text;
}

class NationalRoundTrip : public testing::TestWithParam<RoundTripCase> {};

// A text of every character of one table, allowed only that table's language, goes out in 7-bit
// and comes back whole through the decoder, part by part as a phone reads it. The characters are
// repeated to at least 200, so that the text is always cut into parts that each carry the tables.
TEST_P(NationalRoundTrip, EveryCharacterOfTheTableComesBack) {
  const RoundTripCase& c = GetParam();
  const SeptetTable* table =
      c.locking ? lockingShiftTable(c.language) : singleShiftTable(c.language);
  ASSERT_NE(table, nullptr);
  std::u16string text;
  while (text.size() < 200) text += charactersOf(*table);

  PduEncoderOptions options;
  options.nationalLanguages = {c.language};
  const PduEncoder encoder(options);
  const SMSMessage message(u"", u"+4917012345", text, 1);
  const std::vector<Octets> units = encoder.encodeTextSubmit(message);
  ASSERT_GE(units.size(), 2u);

  std::vector<ReceivedPdu> parts;
  std::u16string emulatorText;
  for (const Octets& unit : units) {
    const SubmitUnitView view = viewSubmitUnit(unit);
    ASSERT_TRUE(view.complete);
    ASSERT_EQ(view.dcs & 0x0C, 0x00) << "not sent in 7-bit";
    const auto pdu = decodeDeliverPdu(deliverFor(view));
    ASSERT_TRUE(pdu.has_value()) << test::toHex(unit);
    EXPECT_TRUE(pdu->lockingLanguage == 0 || pdu->lockingLanguage == c.language);
    EXPECT_TRUE(pdu->shiftLanguage == 0 || pdu->shiftLanguage == c.language);
    if (c.locking && c.language != 0) {
      EXPECT_EQ(pdu->lockingLanguage, c.language);
    }
    parts.push_back(*pdu);
    // The emulator reads what the modem is given the same way.
    const auto submitted = submitPduText(unit);
    ASSERT_TRUE(submitted.has_value());
    emulatorText += *submitted;
  }
  std::sort(parts.begin(), parts.end(),
            [](const auto& a, const auto& b) { return a.index < b.index; });
  std::u16string decoded;
  for (const ReceivedPdu& part : parts) {
    EXPECT_EQ(part.total, static_cast<int>(units.size()));
    decoded += part.text;
  }
  EXPECT_EQ(toUtf8(decoded), toUtf8(text));
  EXPECT_EQ(toUtf8(emulatorText), toUtf8(text));
}

INSTANTIATE_TEST_SUITE_P(Tables, NationalRoundTrip, testing::ValuesIn(kTables),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane
