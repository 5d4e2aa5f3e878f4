#include "transport/EmulatorReplies.h"

#include <array>

namespace parlane {

namespace {

enum class Match { Equals, BeginsWith };

struct Row {
  Match match;
  std::string_view command;
  std::string_view reply;
};

// Rows 2 to 18 of the table; row 1 (the initialization line) and rows 19 to 22 need more than a
// fixed comparison.
constexpr std::array<Row, 17> kFixedRows = {{
    {Match::Equals, "AT+CSMS=?\r\n", "+CSMS: (0,1,128)\r\nOK\r\n"},
    {Match::Equals, "AT+CMGF=?\r\n", "+CMGF: (0-1)\r\nOK\r\n"},
    {Match::Equals, "AT+CNMI=?\r\n", "+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)\r\nOK\r\n"},
    {Match::Equals, "AT+CMEE=?\r\n", "+CMEE: (0-2)\r\nOK\r\n"},
    {Match::Equals, "AT+CMGD=?\r\n", "+CMGD: (1-20)\r\nOK\r\n"},
    {Match::Equals, "AT+CPMS?\r\n", "+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\nOK\r\n"},
    {Match::BeginsWith, "AT+CUSD=?", "+CUSD: (0)\r\nOK\r\n"},
    {Match::Equals, "AT+CGMM\r\n", "Emulator\r\nOK\r\n"},
    {Match::Equals, "AT+CSQ\r\n", "+CSQ: 31,0\r\nOK\r\n"},
    {Match::BeginsWith, "AT+CMEE=", "OK\r\n"},
    {Match::BeginsWith, "AT+CNMI=", "OK\r\n"},
    {Match::BeginsWith, "AT+CMGF=", "OK\r\n"},
    {Match::BeginsWith, "AT+CPIN=", "OK\r\n"},
    {Match::BeginsWith, "AT+CMGS=", ">"},
    {Match::BeginsWith, "AT+CMGL=1", "OK\r\n"},
    // Any other listing too: the gateway lists the whole memory after connecting, and the
    // emulated memory is as empty for that as for the unread and read ones.
    {Match::BeginsWith, "AT+CMGL=", "OK\r\n"},
    {Match::BeginsWith, "AT+CMGD=", "OK\r\n"},
}};

constexpr std::string_view kUssdReply =
    "+CUSD: 2,\"Your current balance is $ 22.10\",15\r\nOK\r\n+CMTI: \"SM\",5\r\n";
constexpr std::string_view kStoredMessage =
    "+CMGR: 0,,33\r\nOK\r\n"
    "07919711029099F3040B919711827424F20008902171021050210E0410041C00300035003500340038\r\n";

}  // namespace

EmulatorReply EmulatorReply::choose(std::string_view command, std::string_view initLine,
                                    int reference) {
  EmulatorReply reply;
  if (command == initLine) {
    reply.rule = 1;
    reply.bytes = "OK\r\n";
    return reply;
  }
  for (std::size_t i = 0; i < kFixedRows.size(); ++i) {
    const Row& row = kFixedRows[i];
    const bool holds =
        row.match == Match::Equals ? command == row.command : command.starts_with(row.command);
    if (holds) {
      reply.rule = static_cast<int>(i) + 2;
      reply.bytes = row.reply;
      return reply;
    }
  }
  if (!command.empty() && command.front() >= '0' && command.front() <= '9') {
    reply.rule = 19;
    reply.bytes = "+CMGS: " + std::to_string(reference) + "\r\nOK\r\n";
    reply.longPause = true;
    reply.messageSent = true;
  } else if (command.starts_with("AT+CUSD=")) {
    reply.rule = 20;
    reply.bytes = kUssdReply;
    reply.longPause = true;
  } else if (command.starts_with("AT+CMGR=")) {
    reply.rule = 21;
    reply.bytes = kStoredMessage;
  } else {
    reply.rule = 22;
    reply.bytes = "ERROR\r\n";
  }
  return reply;
}

}  // namespace parlane
