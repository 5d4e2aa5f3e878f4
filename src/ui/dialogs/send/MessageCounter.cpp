#include "ui/dialogs/send/MessageCounter.h"

#include "core/util/StringTable.h"
#include "core/util/Utf.h"
#include "gsm/NationalTables.h"
#include "gsm/PduEncoder.h"
#include "message/PushMessage.h"
#include "message/SMSMessage.h"
#include "ui/dialogs/common/AsciiConversion.h"

namespace parlane {

namespace {

// The temporary message is never stored or sent: it must not take an id from the counter.
constexpr std::int32_t kCountingId = 0;

std::u16string codingName(SmsCoding coding) {
  switch (coding) {
    case SmsCoding::Gsm7:
      return u"7-bit";
    case SmsCoding::Data8:
      return u"8-bit";
    case SmsCoding::Ucs2:
      break;
  }
  return u"16-bit";
}

// "7-bit Turkish" for a text written with national tables; two names when the locking and the
// single shift table are of different languages.
std::u16string planName(const PduEncoder::TextPlan& plan) {
  std::u16string name = codingName(plan.coding);
  if (plan.coding != SmsCoding::Gsm7 || plan.languages.isDefault()) return name;
  const auto append = [&](int language, char16_t separator) {
    name += separator;
    for (char c : nationalLanguageName(language)) name += static_cast<char16_t>(c);
  };
  const GsmLanguages& languages = plan.languages;
  append(languages.locking != 0 ? languages.locking : languages.shift, u' ');
  if (languages.locking != 0 && languages.shift != 0 && languages.shift != languages.locking) {
    append(languages.shift, u'/');
  }
  return name;
}

}  // namespace

CounterResult countMessage(const CounterInput& input) {
  std::u16string text(input.text);
  if (input.toAscii) convertToAscii(text);
  const PduEncoder encoder(input.encoder);
  CounterResult result;
  if (!input.push) {
    const SMSMessage probe(u"", u"", text, kCountingId);
    result.fragments = static_cast<int>(encoder.encodeOutgoing(probe).size());
    result.characters = static_cast<int>(text.size());
    // Text mode has no user data header, so no national tables either.
    if (input.textMode) {
      result.coding = codingName(PduEncoder::detectCoding(text));
    } else {
      result.coding = planName(encoder.planText(text));
    }
    if (input.textMode && PduEncoder::detectCoding(text) != SmsCoding::Gsm7) {
      result.nonAsciiInTextMode = true;
      result.display = loadString(40123);
      return result;
    }
  } else {
    const PushMessage probe(u"", u"", text, std::u16string(input.url), kCountingId);
    result.fragments = static_cast<int>(encoder.encodeOutgoing(probe).size());
    result.characters =
        static_cast<int>(toUtf8(text).size() + 25 + static_cast<std::size_t>(input.url.size()));
    result.coding = u"utf-8";
  }
  result.display = formatString(40028, {result.characters, result.coding, result.fragments});
  return result;
}

}  // namespace parlane
