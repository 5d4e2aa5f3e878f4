#include "core/util/StringTable.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <string>

#include "core/util/Utf.h"

namespace parlane {

namespace {

struct Entry {
  int id;
  const char16_t* text;
};

// Sorted by id; looked up by binary search.
constexpr Entry kEntries[] = {
    // +CME ERROR texts: 1000 + code.
    {1000, u"Phone failure"},
    {1001, u"No connection to phone"},
    {1002, u"Phone adapter link reserved"},
    {1003, u"Operation not allowed"},
    {1004, u"Operation not supported"},
    {1005, u"PH_SIM PIN required"},
    {1006, u"PH_FSIM PIN required"},
    {1007, u"PH_FSIM PUK required"},
    {1010, u"SIM not inserted"},
    {1011, u"SIM PIN required"},
    {1012, u"SIM PUK required"},
    {1013, u"SIM failure"},
    {1014, u"SIM busy"},
    {1015, u"SIM wrong"},
    {1016, u"Incorrect password"},
    {1017, u"SIM PIN2 required"},
    {1018, u"SIM PUK2 required"},
    {1020, u"Memory full"},
    {1021, u"Invalid index"},
    {1022, u"Not found"},
    {1023, u"Memory failure"},
    {1024, u"Text string too long"},
    {1025, u"Invalid characters in text string"},
    {1026, u"Dial string too long"},
    {1027, u"Invalid characters in dial string"},
    {1030, u"No network service"},
    {1031, u"Network timeout"},
    {1032, u"Network not allowed, emergency calls only"},
    {1040, u"Network personalization PIN required"},
    {1041, u"Network personalization PUK required"},
    {1042, u"Network subset personalization PIN required"},
    {1043, u"Network subset personalization PUK required"},
    {1044, u"Service provider personalization PIN required"},
    {1045, u"Service provider personalization PUK required"},
    {1046, u"Corporate personalization PIN required"},
    {1047, u"Corporate personalization PUK required"},
    {1048, u"PH-SIM PUK required"},
    {1100, u"Unknown error"},
    {1103, u"Illegal MS"},
    {1106, u"Illegal ME"},
    {1107, u"GPRS services not allowed"},
    {1111, u"PLMN not allowed"},
    {1112, u"Location area not allowed"},
    {1113, u"Roaming not allowed in this location area"},
    {1126, u"Operation temporary not allowed"},
    {1132, u"Service operation not supported"},
    {1133, u"Requested service option not subscribed"},
    {1134, u"Service option temporary out of order"},
    {1148, u"Unspecified GPRS error"},
    {1149, u"PDP authentication failure"},
    {1150, u"Invalid mobile class"},
    {1256, u"Operation temporarily not allowed"},
    {1257, u"Call barred"},
    {1258, u"Phone is busy"},
    {1259, u"User abort"},
    {1260, u"Invalid dial string"},
    {1261, u"SS not executed"},
    {1262, u"SIM Blocked"},
    {1263, u"Invalid block"},
    {1772, u"SIM powered down"},
    // +CMS ERROR texts: 2000 + code.
    {2001, u"Unassigned number"},
    {2008, u"Operator determined barring"},
    {2010, u"Call bared"},
    {2021, u"Short message transfer rejected"},
    {2027, u"Destination out of service"},
    {2028, u"Unindentified subscriber"},
    {2029, u"Facility rejected"},
    {2030, u"Unknown subscriber"},
    {2038, u"Network out of order (please check the type of number)"},
    {2041, u"Temporary failure"},
    {2042, u"Congestion"},
    {2047, u"Recources unavailable"},
    {2050, u"Requested facility not subscribed"},
    {2069, u"Requested facility not implemented"},
    {2081, u"Invalid short message transfer reference value"},
    {2095, u"Invalid message unspecified"},
    {2096, u"Invalid mandatory information"},
    {2097, u"Message type non existent or not implemented"},
    {2098, u"Message not compatible with short message protocol"},
    {2099, u"Information element non-existent or not implemente"},
    {2111, u"Protocol error, unspecified"},
    {2127, u"Internetworking unspecified"},
    {2128, u"Telematic internetworking not supported"},
    {2129, u"Short message type 0 not supported"},
    {2130, u"Cannot replace short message"},
    {2143, u"Unspecified TP-PID error"},
    {2144, u"Data code scheme not supported"},
    {2145, u"Message class not supported"},
    {2159, u"Unspecified TP-DCS error"},
    {2160, u"Command cannot be actioned"},
    {2161, u"Command unsupported"},
    {2175, u"Unspecified TP-Command error"},
    {2176, u"TPDU not supported"},
    {2192, u"SC busy"},
    {2193, u"No SC subscription"},
    {2194, u"SC System failure"},
    {2195, u"Invalid SME address"},
    {2196, u"Destination SME barred"},
    {2197, u"SM Rejected-Duplicate SM"},
    {2198, u"TP-VPF not supported"},
    {2199, u"TP-VP not supported"},
    {2208, u"D0 SIM SMS Storage full"},
    {2209, u"No SMS Storage capability in SIM"},
    {2210, u"Error in MS"},
    {2211, u"Memory capacity exceeded"},
    {2212, u"SIM application toolkit busy"},
    {2213, u"SIM data download error"},
    {2255, u"Unspecified error cause"},
    {2300, u"ME Failure"},
    {2301, u"SMS service of ME reserved"},
    {2302, u"Operation not allowed"},
    {2303, u"Operation not supported"},
    {2304, u"Invalid PDU mode parameter"},
    {2305, u"Invalid Text mode parameter"},
    {2310, u"SIM not inserted"},
    {2311, u"SIM PIN required"},
    {2312, u"PH-SIM PIN required"},
    {2313, u"SIM failure"},
    {2314, u"SIM busy"},
    {2315, u"SIM wrong"},
    {2316, u"SIM PUK required"},
    {2317, u"SIM PIN2 required"},
    {2318, u"SIM PUK2 required"},
    {2320, u"Memory failure"},
    {2321, u"Invalid memory index"},
    {2322, u"Memory full"},
    {2330, u"SMSC address unknown"},
    {2331, u"No network service"},
    {2332, u"Network timeout"},
    {2340, u"No +CNMA expected"},
    {2500, u"Unknown error"},
    {2512, u"User abort"},
    {2513, u"Unable to store"},
    {2514, u"Invalid Status"},
    {2515, u"Please check SIM card balance or enter valid SMSC address"},
    {2516, u"Invalid length"},
    {2517, u"SIM card is not inserted or being initialized"},
    {2518, u"Invalid parameter"},
    {2519, u"Invalid length or character"},
    {2520, u"Invalid character in text"},
    {2521, u"Timer expired"},
    {2522, u"Operation temporary not allowed"},
    {2532, u"SIM not ready"},
    {2534, u"Cell Broadcast error unknown"},
    {2535, u"Protocol stack busy"},
    {2538, u"Invalid parameter"},
    // Interface and log texts.
    {40000, u"Warning"},
    {40001, u"Error"},
    {40007, u"Sent: %s"},
    {40009, u"Serial port: %s"},
    {40014, u"Serial port closed"},
    {40015, u"Serial port %s configured"},
    {40016, u"Serial port: timeouts set"},
    {40018, u"Failed to initialize application! Please reinstall Parlane!"},
    {40019, u"Parlane%s (disconnected)"},
    {40020, u"Control panel"},
    {40021, u"Connect"},
    {40022, u"Disconnect"},
    {40023, u"Send SMS"},
    {40025, u"Exit"},
    {40026, u"Parlane%s (connected to %s)"},
    {40027, u"Parlane%s (error)"},
    {40028, u"%d characters, %s coding, %d fragment(s)"},
    {40032, u"Parlane is connected to %s"},
    {40033, u"Connected"},
    {40042, u"Parlane%s (connecting to %s...)"},
    {40048, u"SMS"},
    {40049, u"Properties"},
    {40052, u"Inbox"},
    {40053, u"Outbox"},
    {40054, u"(unknown)"},
    {40055, u"PDU"},
    {40056, u"Text"},
    {40057, u"GSM 3.40"},
    {40058, u"phase 2+"},
    {40066, u"(failed)"},
    {40067, u"(none)"},
    {40068, u"Application"},
    {40069, u"Memory"},
    {40070, u"Got SMS from %s"},
    {40072, u"Error opening file (%s): %s"},
    {40073, u"Date"},
    {40074, u"Sender"},
    {40075, u"Content"},
    {40076, u"Handled"},
    {40077, u"SMS %s not found!"},
    {40078, u"Delete SMS"},
    {40079, u"You are about to delete the SMS.\nPlease confirm your choice."},
    {40080, u"All SMS in this folder will be lost!\nAre you sure?"},
    {40081, u"Destination"},
    {40082, u"URL"},
    {40092, u"Failed to send SMS to %s:\n%s"},
    {40093, u"Error sending SMS!"},
    {40094, u"Sent"},
    {40095, u"Failed"},
    {40096,
     u"You have made changes which will be active after the reconnection.\nDo you wish to "
     u"reconnect the modem?"},
    {40097, u"Modem settings were changed"},
    {40098, u"timeout"},
    {40099, u"Send SMS (Text mode)"},
    {40103, u"Parlane"},
    {40108, u"All"},
    {40109, u"Errors"},
    {40110, u"None"},
    {40113, u"Unread"},
    {40123, u"Non-ASCII symbols may not be sent in text mode"},
    {40124,
     u"Double-click the icon to open the main window\nRight button click to open the main "
     u"menu"},
    {40125, u"Parlane started"},
    {40127, u"disconnected"},
    {40128, u"ready"},
    {40129, u"configuring"},
    {40130, u"busy"},
    {40131, u"error"},
    {40137, u"Can't read modem memory"},
    {40157, u"Error creating directory %s"},
    {40189, u"The port '%s' can't be opened.\nPlease check the serial connection."},
    {40190, u"Auto"},
    {40191, u"Unknown"},
    {40192, u"International"},
    {40193, u"National"},
    {40194, u"Specific"},
    {40195, u"Short code"},
    {40196, u"Invalid recipient number '%s'"},
    {40197, u"Not connected"},
    {40198,
     u"The modem is not connected. The short message is saved in 'Outbox' and will be sent "
     u"immediately after connection."},
    {40205, u"GSM modem connection wizard"},
    {40206,
     u"No available modems detected. Please click 'Back', connect the modem and try "
     u"again.\nIf you have already connected the device to the PC, please read help and "
     u"setup the port manually."},
    {40207, u"Send USSD"},
    {40208, u"Failed to send USSD request '%s'.\r\nPlease view modem log for more information."},
    {40209, u"Error sending USSD!"},
    {40213, u"Got reply to USSD command"},
    {40216,
     u"Number '%s' is in national format. SMS may not be delivered. Country code using is "
     u"recommended."},
    {40234, u"Parlane version %s"},
    {40235, u"The COM port is not set. Please setup COM port before connection!"},
    {40237, u"Main window"},
    // The "ussd.decode" choices, in the order of their values 0 to 4.
    {40253, u"Auto"},
    {40254, u"Text"},
    {40255, u"Text (UNICODE)"},
    {40256, u"Digits (UNICODE)"},
    {40257, u"Digits (ASCII)"},
    {40259, u"Delivery report received"},
    {40260, u"SMS sent to %s was delivered successfully"},
    {40261, u"SMS sent to %s was not delivered for some reason"},
    {40276, u"Duplicated SMS ignored"},
    {40292, u"(%d subscribers)"},
    {40293, u"%d messages are queued for sending."},
    {40295, u"Send over a list"},
    {40296, u"Messages are sent"},
    {40297, u"Delivered"},
};

constexpr bool isSorted() {
  for (size_t i = 1; i < std::size(kEntries); ++i) {
    if (kEntries[i - 1].id >= kEntries[i].id) return false;
  }
  return true;
}
static_assert(isSorted(), "string table entries must be sorted by id without duplicates");

const Entry* find(int id) {
  const auto* end = std::end(kEntries);
  const auto* it = std::lower_bound(std::begin(kEntries), end, id,
                                    [](const Entry& e, int wanted) { return e.id < wanted; });
  return it != end && it->id == id ? it : nullptr;
}

// Widths and precisions beyond this are clamped, so a hostile format can't ask for gigabytes.
constexpr int kMaxFieldWidth = 1024;

struct Conversion {
  std::string flags;  // any of "-+ #0", as written
  int width = -1;
  int precision = -1;
  char16_t kind = 0;  // the conversion letter
};

int readNumber(std::u16string_view format, size_t& i) {
  int value = 0;
  while (i < format.size() && format[i] >= u'0' && format[i] <= u'9') {
    value = std::min(kMaxFieldWidth, value * 10 + (format[i] - u'0'));
    ++i;
  }
  return value;
}

// Leading decimal of a text argument used where a number is expected: blanks, sign, digits.
long long numberFromText(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = std::min<long long>(value * 10 + (text[i] - u'0'), 1LL << 40);
  }
  return negative ? -value : value;
}

long long argAsNumber(const FormatArg& arg) {
  if (const int* n = std::get_if<int>(&arg)) return *n;
  return numberFromText(std::get<std::u16string>(arg));
}

std::u16string argAsText(const FormatArg& arg) {
  if (const int* n = std::get_if<int>(&arg)) return fromAscii(std::to_string(*n));
  return std::get<std::u16string>(arg);
}

void pad(std::u16string& out, std::u16string_view field, const Conversion& conversion) {
  const size_t width = conversion.width > 0 ? static_cast<size_t>(conversion.width) : 0;
  const size_t fill = width > field.size() ? width - field.size() : 0;
  const bool left = conversion.flags.find('-') != std::string::npos;
  if (!left) out.append(fill, u' ');
  out.append(field);
  if (left) out.append(fill, u' ');
}

void appendText(std::u16string& out, const FormatArg& arg, const Conversion& conversion) {
  std::u16string text = argAsText(arg);
  if (conversion.precision >= 0 && text.size() > static_cast<size_t>(conversion.precision)) {
    size_t cut = static_cast<size_t>(conversion.precision);
    // Never keep half of a surrogate pair.
    if (cut > 0 && isHighSurrogate(text[cut - 1])) --cut;
    text.resize(cut);
  }
  pad(out, text, conversion);
}

void appendNumber(std::u16string& out, const FormatArg& arg, const Conversion& conversion) {
  std::string narrow = "%" + conversion.flags;
  if (conversion.width >= 0) narrow += std::to_string(conversion.width);
  if (conversion.precision >= 0) narrow += "." + std::to_string(conversion.precision);
  const long long value = argAsNumber(arg);
  char buffer[3 * kMaxFieldWidth];
  int written;
  if (conversion.kind == u'd' || conversion.kind == u'i') {
    narrow += "lld";
    written = std::snprintf(buffer, sizeof buffer, narrow.c_str(), value);
  } else {
    narrow += "ll";
    narrow += static_cast<char>(conversion.kind);
    written = std::snprintf(buffer, sizeof buffer, narrow.c_str(),
                            static_cast<unsigned long long>(static_cast<unsigned int>(value)));
  }
  if (written > 0) {
    out += fromAscii(std::string_view(buffer, std::min<size_t>(written, sizeof buffer - 1)));
  }
}

void appendCharacter(std::u16string& out, const FormatArg& arg, const Conversion& conversion) {
  std::u16string field;
  if (const int* n = std::get_if<int>(&arg)) {
    field.push_back(static_cast<char16_t>(*n));
  } else if (const auto& text = std::get<std::u16string>(arg); !text.empty()) {
    field.push_back(text.front());
  }
  pad(out, field, conversion);
}

}  // namespace

std::u16string loadString(int id) {
  const Entry* entry = find(id);
  return entry ? std::u16string(entry->text) : std::u16string();
}

bool hasString(int id) { return find(id) != nullptr; }

std::u16string formatText(std::u16string_view format, std::initializer_list<FormatArg> args) {
  std::u16string out;
  out.reserve(format.size() + 16);
  auto nextArg = args.begin();
  size_t i = 0;
  while (i < format.size()) {
    const char16_t c = format[i];
    if (c != u'%') {
      out.push_back(c);
      ++i;
      continue;
    }
    const size_t start = i++;
    if (i < format.size() && format[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    Conversion conversion;
    while (i < format.size() &&
           std::u16string_view(u"-+ #0").find(format[i]) != std::u16string_view::npos) {
      conversion.flags.push_back(static_cast<char>(format[i++]));
    }
    if (i < format.size() && format[i] >= u'0' && format[i] <= u'9')
      conversion.width = readNumber(format, i);
    if (i < format.size() && format[i] == u'.') {
      ++i;
      conversion.precision = readNumber(format, i);
    }
    // Length modifiers carry no meaning here ("%ls" is a wide string, like "%s").
    while (i < format.size() &&
           std::u16string_view(u"hlLqjzt").find(format[i]) != std::u16string_view::npos) {
      ++i;
    }
    if (i >= format.size()) {
      // An unfinished conversion at the end is kept as written.
      out.append(format.substr(start));
      break;
    }
    conversion.kind = format[i++];
    const bool known =
        std::u16string_view(u"sSdiuxXocC").find(conversion.kind) != std::u16string_view::npos;
    if (!known) {
      out.append(format.substr(start, i - start));
      continue;
    }
    if (nextArg == args.end()) continue;  // missing argument: the conversion stays empty
    const FormatArg& arg = *nextArg++;
    switch (conversion.kind) {
      case u's':
      case u'S':
        appendText(out, arg, conversion);
        break;
      case u'c':
      case u'C':
        appendCharacter(out, arg, conversion);
        break;
      default:
        appendNumber(out, arg, conversion);
        break;
    }
  }
  return out;
}

std::u16string formatString(int id, std::initializer_list<FormatArg> args) {
  return formatText(loadString(id), args);
}

}  // namespace parlane
