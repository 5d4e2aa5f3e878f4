#include "parlane-send/SendOptions.h"

#include <charconv>

#include "core/util/ScheduleTime.h"

namespace parlane::send {

const char* const kUsage =
    "Usage: parlane-send [OPTION]... NUMBER... [--text TEXT | -]\n"
    "Queues a short message for the Parlane gateway: one file in its spool folder, taken at once\n"
    "when the gateway runs, else at its next start. Prints the file's name.\n"
    "\n"
    "  --text TEXT         the message text (UTF-8); \"-\" or no --text reads standard input\n"
    "  --flash             a flash message\n"
    "  --report            ask for a delivery report\n"
    "  --ton N             type of number: 0 unknown, 1 international, 2 national,\n"
    "                      3 specific, 4 short code (default: the gateway's automatic rule)\n"
    "  --validity SECONDS  validity period\n"
    "  --at TIME           not sent before TIME: seconds from now or an ISO 8601 date and\n"
    "                      time (2026-12-24T18:00, local time unless a zone is given)\n"
    "  --expires TIME      given up (failed, \"expired\") when not sent by TIME; same forms\n"
    "  --push URL          a WAP Push to URL, the text its title\n"
    "  --ussd              a USSD request: the text is the code, no number\n"
    "  --inst N            the gateway instance (default 0)\n"
    "  --pool              into the pool folder the instances share (\"spool.pool\"): the first\n"
    "                      instance with a connected modem and room sends it\n"
    "  --wait              wait until every message is sent or failed\n"
    "  --timeout SECONDS   how long --wait waits (default 300)\n"
    "  --help              this help\n"
    "\n"
    "Exit status: 0 queued (with --wait: sent), 1 failed or rejected, 2 bad input (nothing is\n"
    "written), 3 --wait timed out (the message stays queued).\n";

namespace {

// The whole of `text` as a decimal number; -1 when it is none (every value asked for is >= 0).
long long number(const std::optional<std::string>& text) {
  if (!text || text->empty()) return -1;
  long long value = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size()) return -1;
  return value;
}

}  // namespace

ParsedOptions parseSendOptions(const std::vector<std::string>& arguments, std::int64_t now) {
  ParsedOptions parsed;
  SendOptions options;
  bool textGiven = false;
  auto fail = [&](std::string why) {
    parsed.error = std::move(why);
    return parsed;
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    // The options that take a value, as "--name value" or "--name=value".
    const auto equals = argument.find('=');
    const std::string name = argument.starts_with("--") ? argument.substr(0, equals) : argument;
    std::optional<std::string> inlineValue;
    if (argument.starts_with("--") && equals != std::string::npos) {
      inlineValue = argument.substr(equals + 1);
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 >= arguments.size()) return std::nullopt;
      return arguments[++i];
    };
    auto flag = [&](bool& target) {
      if (inlineValue) return false;
      target = true;
      return true;
    };
    if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--flash") {
      if (!flag(options.message.flash)) return fail("--flash takes no value");
    } else if (name == "--report") {
      if (!flag(options.message.report)) return fail("--report takes no value");
    } else if (name == "--ussd") {
      if (!flag(options.message.ussd)) return fail("--ussd takes no value");
    } else if (name == "--wait") {
      if (!flag(options.wait)) return fail("--wait takes no value");
    } else if (name == "--pool") {
      if (!flag(options.pool)) return fail("--pool takes no value");
    } else if (name == "--text") {
      const auto text = value();
      if (!text) return fail("--text needs a text");
      if (textGiven) return fail("the text is given twice");
      options.message.text = *text;
      options.textFromInput = false;
      textGiven = true;
    } else if (name == "--push") {
      const auto url = value();
      if (!url || url->empty()) return fail("--push needs a URL");
      options.message.url = *url;
    } else if (name == "--at" || name == "--expires") {
      const auto text = value();
      if (!text) return fail(name + " needs a time");
      const ScheduleTimeParse time = parseScheduleTime(*text, now);
      if (!time.seconds) return fail(name + ": " + time.error + ", not \"" + *text + "\"");
      if (name == "--expires" && *time.seconds <= now) {
        return fail("--expires: " + *text + " is past already");
      }
      (name == "--at" ? options.message.sendAfter : options.message.expires) = time.seconds;
    } else if (name == "--ton" || name == "--validity" || name == "--inst" || name == "--timeout") {
      const long long n = number(value());
      if (name == "--ton") {
        if (n < 0 || n > 4) return fail("--ton needs a number from 0 to 4");
        options.message.ton = static_cast<std::int32_t>(n);
      } else if (name == "--validity") {
        if (n < 1 || n > kMaxSpoolValidity) {
          return fail("--validity needs seconds from 1 to " + std::to_string(kMaxSpoolValidity));
        }
        options.message.validity = static_cast<std::int32_t>(n);
      } else if (name == "--inst") {
        if (n < 0 || n > 9999) return fail("--inst needs a number from 0 to 9999");
        options.instance = static_cast<int>(n);
      } else {
        if (n < 1 || n > 86400 * 7) return fail("--timeout needs seconds from 1 to 604800");
        options.waitSeconds = static_cast<int>(n);
      }
    } else if (argument == "-") {
      if (textGiven) return fail("the text is given twice");
      options.textFromInput = true;
      textGiven = true;
    } else if (argument == "--") {
      for (++i; i < arguments.size(); ++i) options.message.to.push_back(arguments[i]);
    } else if (argument.starts_with("-") && !argument.starts_with("+") && argument.size() > 1 &&
               !(argument[1] >= '0' && argument[1] <= '9')) {
      return fail("unknown option " + argument);
    } else {
      options.message.to.push_back(argument);
    }
  }
  // Which instance sends a pooled message is known only once one has taken it.
  if (options.pool && options.wait) return fail("--wait can't follow a message into the pool");
  parsed.options = std::move(options);
  return parsed;
}

}  // namespace parlane::send
