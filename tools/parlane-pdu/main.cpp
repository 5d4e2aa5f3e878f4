// parlane-pdu: decodes received PDUs to JSON and encodes SMS-SUBMIT units, with the gateway's own
// codec, for people who debug modems and for scripts.

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "DecodeCommand.h"
#include "EncodeCommand.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"

namespace {

constexpr std::string_view kUsage =
    "usage: parlane-pdu [--set key=value]... decode [HEX...]\n"
    "       parlane-pdu [--set key=value]... encode --to NUMBER --text TEXT [--ton 0-4]\n"
    "                   [--flash] [--report] [--validity SECONDS] [--push URL]\n"
    "                   [--languages IDS] [--tables]\n"
    "decode reads one PDU per line from standard input when no HEX is given.\n"
    "--languages allows national language tables (ids 1 to 13, such as 1 for Turkish) in place\n"
    "of sms.national_languages; --tables prints first the tables the text goes out with.\n";

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  parlane::SettingsStore settings;
  std::string command;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--set") {
      const std::string_view assignment = i + 1 < argc ? argv[++i] : "";
      const auto equals = assignment.find('=');
      if (equals == std::string_view::npos || equals == 0) {
        std::cerr << "parlane-pdu: --set takes key=value\n" << kUsage;
        return 2;
      }
      settings.setString(assignment.substr(0, equals),
                         parlane::fromUtf8(assignment.substr(equals + 1)));
    } else if (argument == "--help" || argument == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (command.empty()) {
      command = argument;
    } else {
      rest.emplace_back(argument);
    }
  }
  if (command == "decode") return parlane::runDecode(rest, std::cin, std::cout, settings);
  if (command == "encode") return parlane::runEncode(rest, std::cout, std::cerr, settings);
  std::cerr << kUsage;
  return 2;
}
