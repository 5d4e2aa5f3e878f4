// Runs the built parlane-pdu as a real process: what `encode` prints, turned into the SMS-DELIVER
// a phone would receive, must decode back to the text; damaged input gives {"error": ...}.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/util/Utf.h"
#include "gsm/HexOctets.h"
#include "support/ChildProcess.h"

namespace parlane {
namespace {

struct ProcessResult {
  int exitCode = -1;
  std::string output;
  std::string errors;
};

// Runs parlane-pdu with `arguments`, `input` on its standard input.
ProcessResult runTool(const std::vector<std::string>& arguments, const std::string& input = "") {
  test::ProcessLaunch launch;
  launch.program = PARLANE_PDU_PATH;
  launch.arguments = arguments;
  const test::ProcessResult run = test::runProcess(launch, input);
  return {run.code, run.out, run.err};
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The JSON string value of `key` in a one-line object, unescaped; nothing when absent.
std::optional<std::string> jsonStringField(const std::string& json, const std::string& key) {
  const std::string marker = "\"" + key + "\": \"";
  auto at = json.find(marker);
  if (at == std::string::npos) return std::nullopt;
  at += marker.size();
  std::u16string value;
  std::string pending;  // raw UTF-8 between escapes
  auto flush = [&] {
    value += fromUtf8(pending);
    pending.clear();
  };
  while (at < json.size() && json[at] != '"') {
    if (json[at] != '\\') {
      pending.push_back(json[at++]);
      continue;
    }
    flush();
    const char kind = json.at(at + 1);
    at += 2;
    switch (kind) {
      case 'n':
        value.push_back(u'\n');
        break;
      case 'r':
        value.push_back(u'\r');
        break;
      case 't':
        value.push_back(u'\t');
        break;
      case 'b':
        value.push_back(u'\b');
        break;
      case 'f':
        value.push_back(u'\f');
        break;
      case 'u':
        value.push_back(static_cast<char16_t>(std::stoi(json.substr(at, 4), nullptr, 16)));
        at += 4;
        break;
      default:
        value.push_back(static_cast<char16_t>(kind));
    }
  }
  if (at >= json.size()) return std::nullopt;  // unterminated string
  flush();
  return toUtf8(value);
}

std::optional<long> jsonNumberField(const std::string& json, const std::string& key) {
  const std::string marker = "\"" + key + "\": ";
  const auto at = json.find(marker);
  if (at == std::string::npos) return std::nullopt;
  return std::stol(json.substr(at + marker.size()));
}

// The SMS-DELIVER a phone receives for an SMS-SUBMIT TPDU (no service centre field): same
// address, protocol, coding and user data, the validity replaced by a fixed time stamp.
std::vector<std::uint8_t> submitToDeliver(const std::vector<std::uint8_t>& submit) {
  std::size_t at = 0;
  const std::uint8_t first = submit.at(at++);
  ++at;  // TP-MR
  const std::size_t addressOctets = 2 + (submit.at(at) + 1) / 2;
  const auto address = submit.begin() + static_cast<std::ptrdiff_t>(at);
  at += addressOctets;
  const std::uint8_t pid = submit.at(at++);
  const std::uint8_t dcs = submit.at(at++);
  if ((first & 0x18) == 0x10) ++at;  // relative validity
  std::vector<std::uint8_t> deliver = {0x00, static_cast<std::uint8_t>(0x04 | (first & 0x40))};
  deliver.insert(deliver.end(), address, address + static_cast<std::ptrdiff_t>(addressOctets));
  deliver.push_back(pid);
  deliver.push_back(dcs);
  for (std::uint8_t octet : {0x62, 0x21, 0x90, 0x01, 0x00, 0x00, 0x00}) deliver.push_back(octet);
  deliver.insert(deliver.end(), submit.begin() + static_cast<std::ptrdiff_t>(at), submit.end());
  return deliver;
}

struct RoundTripCase {
  const char* name;
  std::vector<std::string> arguments;
  std::string text;
  std::string party;
  std::size_t parts;
  long coding;
};

// Keeps ctest's listing readable: the case's name instead of a byte dump.
void PrintTo(const RoundTripCase& c, std::ostream* out) { *out << c.name; }

const std::string kLongSevenBit = [] {
  std::string text;
  for (int i = 0; i < 20; ++i) text += "{part} [" + std::to_string(i) + "] ";
  return text;
}();
const std::string kLongUcs2 = [] {
  std::string text;
  for (int i = 0; i < 12; ++i) text += "Привет, мир! ";
  return text;
}();

// 200 characters: four times a sentence of 50 in which every letter is in the Turkish locking
// shift table.
const std::string kTurkish = [] {
  std::string text;
  for (int i = 0; i < 4; ++i) text += "Yağmurlu bir günde şehrin ışıkları yanar çabucak. ";
  return text;
}();

const RoundTripCase kRoundTrips[] = {
    {"SevenBit",
     {"encode", "--to", "+4915212345678", "--text", "hellohello"},
     "hellohello",
     "+4915212345678",
     1,
     0},
    {"SevenBitConcatenated",
     {"encode", "--to", "12345", "--text", kLongSevenBit},
     kLongSevenBit,
     "12345",
     3,
     0},
    {"Ucs2WithEmoji", {"encode", "--to", "12345", "--text", "Grüße 😀"}, "Grüße 😀", "12345", 1, 8},
    {"Ucs2Concatenated",
     {"encode", "--to", "12345", "--text", kLongUcs2},
     kLongUcs2,
     "12345",
     3,
     8},
    {"FlashWithReport",
     {"encode", "--to", "12345", "--text", "Now!", "--flash", "--report", "--validity", "600"},
     "Now!",
     "12345",
     1,
     0},
    {"ServiceCentreInPdu",
     {"--set", "smsc_addr_in_pdu=1", "--set", "smsc.address=+4917000000", "encode", "--to",
      "0049 151 2345", "--ton", "1", "--text", "quote \" backslash \\ line\nend"},
     "quote \" backslash \\ line\nend",
     "+491512345",
     1,
     0},
    {"LengthCorrection",
     {"--set", "sms.length_correction=2", "encode", "--to", "12345", "--text",
      std::string(158, 'a')},
     std::string(158, 'a'),
     "12345",
     2,
     0},
    {"TurkishNationalTables",
     {"--set", "sms.national_languages=1", "encode", "--to", "12345", "--text", kTurkish},
     kTurkish,
     "12345",
     2,
     0},
};

class ParlanePduRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(ParlanePduRoundTrip, EncodedUnitsDecodeBackToTheText) {
  const auto& c = GetParam();
  const auto encoded = runTool(c.arguments);
  ASSERT_EQ(encoded.exitCode, 0) << encoded.output;
  const auto units = linesOf(encoded.output);
  ASSERT_EQ(units.size(), c.parts) << encoded.output;

  std::string deliverLines;
  for (const auto& unit : units) {
    const auto space = unit.find(' ');
    ASSERT_NE(space, std::string::npos) << unit;
    const std::size_t tpduLength = std::stoul(unit.substr(0, space));
    const auto octets = hexToOctets(unit.substr(space + 1));
    ASSERT_TRUE(octets.has_value()) << unit;
    EXPECT_EQ(unit.substr(space + 1), octetsToHex(*octets)) << "uppercase hexadecimal";
    ASSERT_LE(tpduLength, octets->size());
    // The length for AT+CMGS leaves out exactly the service centre field.
    const std::size_t smscOctets = octets->size() - tpduLength;
    EXPECT_EQ(smscOctets, std::size_t{(*octets)[0]} + 1);
    const std::vector<std::uint8_t> tpdu(octets->begin() + static_cast<std::ptrdiff_t>(smscOctets),
                                         octets->end());
    deliverLines += octetsToHex(submitToDeliver(tpdu)) + "\n";
  }

  const auto decoded = runTool({"decode"}, deliverLines);
  ASSERT_EQ(decoded.exitCode, 0) << decoded.output;
  const auto objects = linesOf(decoded.output);
  ASSERT_EQ(objects.size(), c.parts);
  std::string joined;
  std::optional<long> reference;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    const auto& json = objects[i];
    EXPECT_EQ(jsonNumberField(json, "kind"), 1);
    EXPECT_EQ(jsonStringField(json, "party"), c.party);
    EXPECT_EQ(jsonStringField(json, "time"), "2026-12-09T10:00:00");
    EXPECT_EQ(jsonNumberField(json, "coding"), c.coding);
    EXPECT_EQ(jsonNumberField(json, "total"), static_cast<long>(c.parts));
    EXPECT_EQ(jsonNumberField(json, "index"), static_cast<long>(i));
    if (i == 0) reference = jsonNumberField(json, "reference");
    EXPECT_EQ(jsonNumberField(json, "reference"), reference);
    const auto text = jsonStringField(json, "text");
    ASSERT_TRUE(text.has_value()) << json;
    joined += *text;
  }
  EXPECT_EQ(joined, c.text);
}

INSTANTIATE_TEST_SUITE_P(Tool, ParlanePduRoundTrip, testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParlanePdu, PushIsPortAddressedBinary) {
  const auto encoded =
      runTool({"encode", "--to", "12345", "--push", "http://a.example/x", "--text", "Offer"});
  ASSERT_EQ(encoded.exitCode, 0);
  const auto units = linesOf(encoded.output);
  ASSERT_EQ(units.size(), 1u);
  const auto octets = hexToOctets(units[0].substr(units[0].find(' ') + 1));
  ASSERT_TRUE(octets.has_value());
  const std::vector<std::uint8_t> tpdu(octets->begin() + 1, octets->end());
  const auto decoded = runTool({"decode", octetsToHex(submitToDeliver(tpdu))});
  ASSERT_EQ(decoded.exitCode, 0) << decoded.output;
  EXPECT_EQ(jsonNumberField(decoded.output, "port_addressed"), 1);
  EXPECT_EQ(jsonNumberField(decoded.output, "coding"), 4);
  EXPECT_EQ(jsonStringField(decoded.output, "header"), "05040B8423F0");
}

// A requested validity and the relative TP-VP the printed unit must carry.
struct ValidityCase {
  const char* name;
  std::vector<std::string> validity;  // the option, or none for the default of one day
  std::uint8_t code;
};

void PrintTo(const ValidityCase& c, std::ostream* os) { *os << c.name; }

class ParlanePduValidity : public testing::TestWithParam<ValidityCase> {};

TEST_P(ParlanePduValidity, PrintsTheSmallestCodeThatCoversThePeriod) {
  std::vector<std::string> arguments = {"encode", "--to", "12345", "--text", "x"};
  arguments.insert(arguments.end(), GetParam().validity.begin(), GetParam().validity.end());
  const auto encoded = runTool(arguments);
  ASSERT_EQ(encoded.exitCode, 0) << encoded.errors;
  const auto units = linesOf(encoded.output);
  ASSERT_EQ(units.size(), 1u);
  const auto octets = hexToOctets(units[0].substr(units[0].find(' ') + 1));
  ASSERT_TRUE(octets.has_value());
  // SMSC field, first octet, TP-MR, address (length, type, digits), TP-PID, TP-DCS, TP-VP.
  const std::size_t smsc = std::size_t{octets->at(0)} + 1;
  const std::size_t address = smsc + 2;
  const std::size_t vp = address + 2 + (octets->at(address) + 1) / 2 + 2;
  EXPECT_EQ(octets->at(smsc) & 0x18, 0x10) << "relative format";
  EXPECT_EQ(octets->at(vp), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Tool, ParlanePduValidity,
                         testing::Values(ValidityCase{"DefaultOneDay", {}, 167},
                                         ValidityCase{"TwelveHours", {"--validity", "43200"}, 143},
                                         ValidityCase{"TwoDays", {"--validity", "172800"}, 168},
                                         ValidityCase{
                                             "SixtyFourWeeks", {"--validity", "38707200"}, 255}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParlanePdu, StatusReportFields) {
  const auto decoded =
      runTool({"decode", "0791447758100650062A0D91945112325476F8622190010000406221900100504000"});
  ASSERT_EQ(decoded.exitCode, 0);
  EXPECT_EQ(jsonNumberField(decoded.output, "kind"), 4);
  EXPECT_EQ(jsonNumberField(decoded.output, "message_reference"), 42);
  EXPECT_EQ(jsonStringField(decoded.output, "party"), "+4915212345678");
  EXPECT_EQ(jsonStringField(decoded.output, "discharge_time"), "2026-12-09T10:00:05");
  EXPECT_EQ(jsonNumberField(decoded.output, "status"), 0);
}

TEST(ParlanePdu, StatusReportWithoutServiceCentreField) {
  const std::string bare = "06D60B911326880736F4622190010000406221900100504043";
  EXPECT_EQ(runTool({"decode", bare}).exitCode, 1);
  const auto decoded = runTool({"--set", "cds_no_smsc_addr=1", "decode", bare});
  ASSERT_EQ(decoded.exitCode, 0) << decoded.output;
  EXPECT_EQ(jsonNumberField(decoded.output, "message_reference"), 214);
  EXPECT_EQ(jsonNumberField(decoded.output, "status"), 0x43);
}

TEST(ParlanePdu, DamagedInputGivesErrorObjectsAndExitCodeOne) {
  const std::string good = "0004068121436500000150024103004002C834";
  const std::string input = good + "\r\n\n" + "0G\n" + "ABC\n" + "0011000681\n" +
                            std::string("\x00\xFF\x01binary", 9) + "\n" + good + "\n";
  const auto result = runTool({"decode"}, input);
  EXPECT_EQ(result.exitCode, 1);
  const auto lines = linesOf(result.output);
  ASSERT_EQ(lines.size(), 6u) << result.output;  // the blank line is skipped
  EXPECT_EQ(jsonStringField(lines[0], "text"), "Hi");
  for (std::size_t i = 1; i <= 4; ++i) {
    EXPECT_EQ(lines[i].rfind("{\"error\": \"", 0), 0u) << lines[i];
  }
  EXPECT_EQ(jsonStringField(lines[5], "text"), "Hi");
}

TEST(ParlanePdu, ControlCharactersAreEscapedInJson) {
  const auto result =
      runTool({"decode", "079144775810065004068121436500040150024103004004007F80FF"});
  ASSERT_EQ(result.exitCode, 0);
  EXPECT_NE(result.output.find("\"text\": \"\\u0000\\u007f\xC2\x80\xC3\xBF\""), std::string::npos)
      << result.output;
  EXPECT_EQ(jsonStringField(result.output, "text"), std::string("\0\x7F\xC2\x80\xC3\xBF", 6));
}

TEST(ParlanePdu, AllGoodExitsZero) {
  const auto result = runTool({"decode", "0004068121436500000150024103004002C834"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(linesOf(result.output).size(), 1u);
}

// A text or push body that needs more than 255 parts can't be one message: nothing is printed
// (no unit of a cut text goes out) and the reason is given.
TEST(ParlanePdu, MessageOfMoreThan255PartsIsRefused) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
  };
  const std::string text(40000, 'a');
  for (const Case& c : {Case{"text", {"encode", "--to", "+491701234567", "--text", text}},
                        Case{"push",
                             {"encode", "--to", "+491701234567", "--text", text, "--push",
                              "http://example.com/"}}}) {
    const auto result = runTool(c.arguments);
    EXPECT_EQ(result.exitCode, 1) << c.name;
    EXPECT_EQ(result.output, "") << c.name;
    EXPECT_NE(result.errors.find("parlane-pdu: can't encode: the message needs "),
              std::string::npos)
        << c.name << ": " << result.errors;
    EXPECT_NE(result.errors.find("more than the 255 that one message can have"), std::string::npos)
        << c.name;
  }
  // 255 parts still go out.
  const auto fits = runTool({"encode", "--to", "1", "--text", std::string(153 * 255, 'a')});
  EXPECT_EQ(fits.exitCode, 0);
  EXPECT_EQ(linesOf(fits.output).size(), 255u);
}

struct TablesCase {
  const char* name;
  std::vector<std::string> arguments;
  std::string tables;
  std::size_t units;
};

void PrintTo(const TablesCase& c, std::ostream* out) { *out << c.name; }

class ParlanePduTables : public testing::TestWithParam<TablesCase> {};

// --tables names the tables first; --languages stands in for the setting.
TEST_P(ParlanePduTables, NamesTheTablesBeforeTheUnits) {
  const TablesCase& c = GetParam();
  const auto result = runTool(c.arguments);
  ASSERT_EQ(result.exitCode, 0) << result.errors;
  const auto lines = linesOf(result.output);
  ASSERT_EQ(lines.size(), c.units + 1) << result.output;
  EXPECT_EQ(lines[0], c.tables);
}

INSTANTIATE_TEST_SUITE_P(
    Tool, ParlanePduTables,
    testing::Values(
        TablesCase{"SettingAllowsTurkish",
                   {"--set", "sms.national_languages=1", "encode", "--to", "1", "--text", kTurkish,
                    "--tables"},
                   "tables: locking shift 1 Turkish, single shift 0 Default",
                   2},
        TablesCase{"OptionAllowsTurkish",
                   {"encode", "--to", "1", "--text", kTurkish, "--languages", "1", "--tables"},
                   "tables: locking shift 1 Turkish, single shift 0 Default",
                   2},
        TablesCase{"OptionReplacesTheSetting",
                   {"--set", "sms.national_languages=1", "encode", "--to", "1", "--text", kTurkish,
                    "--languages", "2", "--tables"},
                   "tables: none, UCS2",
                   3},
        TablesCase{"NoLanguagesIsUcs2",
                   {"encode", "--to", "1", "--text", kTurkish, "--tables"},
                   "tables: none, UCS2",
                   3},
        TablesCase{"SpanishSingleShift",
                   {"encode", "--to", "1", "--text", "acción", "--languages", "2", "--tables"},
                   "tables: locking shift 0 Default, single shift 2 Spanish",
                   1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParlanePdu, DecodeNamesTheTablesOfTheHeader) {
  const auto result = runTool(
      {"decode", "07914477581006504406812143650000015002410300400D03240101D81C419B39688302"});
  ASSERT_EQ(result.exitCode, 0);
  EXPECT_EQ(jsonNumberField(result.output, "locking_shift"), 0);
  EXPECT_EQ(jsonNumberField(result.output, "single_shift"), 1);
  EXPECT_EQ(jsonStringField(result.output, "text"), "Ğ ş {");
}

TEST(ParlanePdu, LanguageThatIsNoIdIsAUsageError) {
  const auto result = runTool({"encode", "--to", "1", "--text", "ş", "--languages", "1,tr"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.errors.find("--languages takes language ids from 0 to 13, not \"tr\""),
            std::string::npos)
      << result.errors;
}

TEST(ParlanePdu, BadOptionsAreUsageErrors) {
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{},
                                                    {"frobnicate"},
                                                    {"encode", "--text", "x"},
                                                    {"encode", "--to", "1", "--ton", "7"},
                                                    {"encode", "--to", "1", "--validity", "-5"},
                                                    {"encode", "--to"},
                                                    {"--set", "novalue", "decode"}}) {
    EXPECT_EQ(runTool(arguments).exitCode, 2);
  }
}

}  // namespace
}  // namespace parlane
