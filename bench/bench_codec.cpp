// Nanoseconds per call of the GSM codec's hot paths: encoding the units of one outgoing message
// and decoding one received PDU.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/util/Utf.h"
#include "gsm/HexOctets.h"
#include "gsm/PduDecoder.h"
#include "gsm/PduEncoder.h"
#include "message/PushMessage.h"
#include "message/SMSMessage.h"

namespace parlane {
namespace {

// A 160-character 7-bit SMS-DELIVER: one full unit.
constexpr const char* kDeliver7Bit160 =
    "0791447758100650040D91945112325476F8000062219001000040A054741914AFA7C76B9058"
    "FEBEBB41E6371EA4AEB7E173D0DB5E9683E8E832881DD6E741E4F7D905A2A2CBA0783D3D5E83"
    "C4F2F7DD0D32BFF12075BD0D9F83DEF6B21C44479741ECB03E0F22BFCF2E10155D06C5EBE9F1"
    "1A2496BFEF6E90F98D07A9EB6DF81CF4B697E5203ABA0C6287F57910F97D7681A8E832285E4F"
    "8FD720B1FC7D7783CC6F3C485D6FC3E7";

// Part 2 of 3 of a UCS2 message, 67 characters after a six-octet header.
constexpr const char* kDeliverUcs2Part =
    "0791447758100650440D91945112325476F80008622190010000408C0500035A03020421044A"
    "04350448044C00200436043500200435044904510020044D0442043804450020043C044F0433"
    "043A043804450020044404400430043D0446044304370441043A04380445002004310443043B"
    "043E043A002C00200434043000200432044B043F04350439002004470430044E002E00200421"
    "044A04350448044C0020043604350020";

constexpr const char* kStatusReport =
    "0791447758100650062A0D91945112325476F8622190010000406221900100504000";

std::u16string repeat(std::u16string_view piece, std::size_t length) {
  std::u16string text;
  while (text.size() < length) text += piece;
  text.resize(length);
  return text;
}

std::vector<std::uint8_t> Octets(const char* hex) { return hexToOctets(hex).value(); }

void BM_Encode7Bit160(benchmark::State& state) {
  const PduEncoder encoder(PduEncoderOptions{});
  SMSMessage message(u"", u"+4915212345678",
                     repeat(u"The quick brown fox jumps over the lazy dog. ", 160));
  for (auto _ : state) {
    auto units = encoder.encodeOutgoing(message);
    benchmark::DoNotOptimize(units);
  }
}
BENCHMARK(BM_Encode7Bit160);

void BM_EncodeUcs2_1000Chars15Parts(benchmark::State& state) {
  const PduEncoder encoder(PduEncoderOptions{});
  SMSMessage message(u"", u"+4915212345678",
                     repeat(u"Съешь же ещё этих мягких французских булок, да выпей чаю. ", 1000));
  std::size_t parts = 0;
  for (auto _ : state) {
    auto units = encoder.encodeOutgoing(message);
    parts = units.size();
    benchmark::DoNotOptimize(units);
  }
  state.counters["parts"] = static_cast<double>(parts);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(parts));
}
BENCHMARK(BM_EncodeUcs2_1000Chars15Parts);

// The choice among national tables at its widest: every language allowed, so that every pair of
// a locking and a single shift table is tried (the send dialog's counter does this per keystroke).
void BM_EncodeTurkish1000CharsEveryLanguageAllowed(benchmark::State& state) {
  PduEncoderOptions options;
  for (int language = 0; language <= 13; ++language) options.nationalLanguages.push_back(language);
  const PduEncoder encoder(options);
  SMSMessage message(
      u"", u"+4915212345678",
      repeat(u"Ya\u011Fmurlu bir g\u00FCnde \u015Fehrin \u0131\u015F\u0131klar\u0131 "
             u"yanar. ",
             1000));
  std::size_t parts = 0;
  for (auto _ : state) {
    auto units = encoder.encodeOutgoing(message);
    parts = units.size();
    benchmark::DoNotOptimize(units);
  }
  state.counters["parts"] = static_cast<double>(parts);
}
BENCHMARK(BM_EncodeTurkish1000CharsEveryLanguageAllowed);

void BM_EncodePush(benchmark::State& state) {
  const PduEncoder encoder(PduEncoderOptions{});
  PushMessage message(u"", u"+4915212345678", u"New offers for you",
                      u"http://shop.example.com/offers/today");
  for (auto _ : state) {
    auto units = encoder.encodeOutgoing(message);
    benchmark::DoNotOptimize(units);
  }
}
BENCHMARK(BM_EncodePush);

// One DELIVER decoded from octets; the fixture names the case.
void BM_DecodeDeliver(benchmark::State& state, const char* hex) {
  const PduDecoderOptions options;
  const auto octets = Octets(hex);
  for (auto _ : state) {
    auto pdu = decodeDeliverPdu(octets, options);
    benchmark::DoNotOptimize(pdu);
  }
}
BENCHMARK_CAPTURE(BM_DecodeDeliver, 7Bit160, kDeliver7Bit160);
BENCHMARK_CAPTURE(BM_DecodeDeliver, Ucs2Part, kDeliverUcs2Part);

// What the receiver does with a modem line: hexadecimal to octets, then decoding.
void BM_DecodeHexLine7Bit160(benchmark::State& state) {
  const PduDecoderOptions options;
  const std::string line = kDeliver7Bit160;
  for (auto _ : state) {
    auto pdu = decodeDeliverPdu(hexToOctets(line).value(), options);
    benchmark::DoNotOptimize(pdu);
  }
}
BENCHMARK(BM_DecodeHexLine7Bit160);

void BM_DecodeStatusReport(benchmark::State& state) {
  const PduDecoderOptions options;
  const auto octets = Octets(kStatusReport);
  for (auto _ : state) {
    auto pdu = decodeStatusReportPdu(octets, options);
    benchmark::DoNotOptimize(pdu);
  }
}
BENCHMARK(BM_DecodeStatusReport);

}  // namespace
}  // namespace parlane

BENCHMARK_MAIN();
