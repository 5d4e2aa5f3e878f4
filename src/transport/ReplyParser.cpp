#include "transport/ReplyParser.h"

#include <cstring>

#include "core/util/Utf.h"
#include "transport/ModemErrorLine.h"
#include "transport/ReplyText.h"

namespace parlane {

namespace {

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// The whole line is `word` (ignoring case and trailing blanks).
bool isExactly(std::string_view line, std::string_view word) {
  if (!startsWithNoCase(line, word)) return false;
  for (char c : line.substr(word.size())) {
    if (c != ' ' && c != '\t') return false;
  }
  return true;
}

}  // namespace

ReplyParser::Classification ReplyParser::classify(std::string_view line, bool bodyFollows) {
  using S = ReplySlot;
  const S failureOrBody = bodyFollows ? S::Unsolicited : S::Failure;
  // While a body is announced, a text-mode body that merely begins with "OK" or "ERROR" ("Ok,
  // see you") is the body, not a final result; the bare words still end the reply.
  const bool finalWordsOnly = bodyFollows;
  if (startsWithNoCase(line, "OK") && (!finalWordsOnly || isExactly(line, "OK"))) {
    return {AsyncEvent::kOk, S::Ok, true};
  }
  if (startsWithNoCase(line, "ERROR") && (!finalWordsOnly || isExactly(line, "ERROR"))) {
    return {AsyncEvent::kError, failureOrBody, true};
  }
  // A call rings whatever else is going on; it answers no command.
  if (isCallLine(line)) return {AsyncEvent::kCall, S::Unsolicited, false};
  if (line.empty() || line[0] != '+') {
    if (!line.empty() && line[0] == '>') return {AsyncEvent::kPrompt, S::Prompt, false};
    return {AsyncEvent::kInformation, bodyFollows ? S::Unsolicited : S::Information, false};
  }
  if (startsWithNoCase(line, "+CMT:") || startsWithNoCase(line, "+CBM:")) {
    return {AsyncEvent::kMessage, S::Unsolicited, false};
  }
  if (startsWithNoCase(line, "+CDS:")) return {AsyncEvent::kReport, S::Unsolicited, false};
  if (startsWithNoCase(line, "+CMTI:") || startsWithNoCase(line, "+CBMI:")) {
    return {AsyncEvent::kMessageIndex, S::Unsolicited, false};
  }
  if (startsWithNoCase(line, "+CDSI:")) return {AsyncEvent::kReportIndex, S::Unsolicited, false};
  if (startsWithNoCase(line, "+CMGR:") || startsWithNoCase(line, "+CMGL:") ||
      startsWithNoCase(line, "+CUSD:")) {
    return {AsyncEvent::kInformation, S::Unsolicited, false};
  }
  if (startsWithNoCase(line, "+CME ") || startsWithNoCase(line, "+CMS ")) {
    return {AsyncEvent::kCodedError, failureOrBody, true};
  }
  return {AsyncEvent::kInformation, S::Information, false};
}

bool ReplyParser::isCallLine(std::string_view line) {
  if (isExactly(line, "RING") || startsWithNoCase(line, "+CRING:")) return true;
  if (!startsWithNoCase(line, "+CLIP:")) return false;
  // The caller's line begins with the quoted number; "+CLIP: 1,1" answers "AT+CLIP?".
  const std::size_t value = line.find_first_not_of(' ', 6);
  return value != std::string_view::npos && line[value] == '"';
}

bool ReplyParser::announcesBody(std::string_view line) {
  if (startsWithNoCase(line, "+CMT:") || startsWithNoCase(line, "+CBM:") ||
      startsWithNoCase(line, "+CDS:")) {
    return true;
  }
  if (!startsWithNoCase(line, "+CMGR:") && !startsWithNoCase(line, "+CMGL:")) return false;
  // Some modems answer the read of an empty slot with a header alone ("+CMGR:", "+CMGR: 0,,0"):
  // nothing follows it, and the final result behind it is the command's.
  std::string_view value = line.substr(6);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  const std::size_t comma = value.rfind(',');
  std::string_view last = comma == std::string_view::npos ? value : value.substr(comma + 1);
  while (!last.empty() && last.front() == ' ') last.remove_prefix(1);
  const bool blank = value.find_first_not_of(" \t") == std::string_view::npos;
  return !blank && last != "0";
}

bool ReplyParser::isTextHeader(std::string_view line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  // A PDU-mode header ends with the length; a text-mode one with the quoted time stamp.
  return !line.empty() && line.back() == '"';
}

void ReplyParser::handleLine(std::string_view line, ReplySink& sink) {
  if (afterPrompt_) {
    // The blank of a prompt ("> ") leads the line after it: a modem that puts its result right
    // after the prompt (" OK") gives a final result all the same.
    afterPrompt_ = false;
    std::string_view unpadded = line;
    while (!unpadded.empty() && unpadded.front() == ' ') unpadded.remove_prefix(1);
    if (!unpadded.empty() && classify(unpadded, bodyFollows_).endsReply) line = unpadded;
  }
  if (ussd_.open()) {
    if (!UssdLines::endsUnclosed(line)) {
      if (ussd_.append(line)) deliverLine(ussd_.take(), sink);
      return;
    }
    deliverLine(ussd_.take(), sink);
  }
  // A message text that merely begins like a USSD reply is still the text.
  if (!inTextBody() && ussd_.begins(line)) return;
  deliverLine(line, sink);
}

void ReplyParser::settleHeldWord(std::string_view next, ReplySink& sink) {
  const std::string held = std::move(heldWord_);
  heldWord_.clear();
  // Behind the text come the final result or the next listed message; behind a final result put
  // before the text comes the text.
  const bool heldIsText = classify(next, true).endsReply || startsWithNoCase(next, "+CMGR:") ||
                          startsWithNoCase(next, "+CMGL:");
  if (heldIsText) {
    bodyFollows_ = false;
    textBody_ = false;
    deliverAs({AsyncEvent::kInformation, ReplySlot::Unsolicited, false}, held, sink);
  } else {
    deliverAs(classify(held, true), held, sink);
  }
}

void ReplyParser::deliverLine(std::string_view line, ReplySink& sink) {
  if (!heldWord_.empty()) settleHeldWord(line, sink);
  Classification c;
  if (inTextBody() && readHeader_ && (isExactly(line, "OK") || isExactly(line, "ERROR"))) {
    heldWord_ = line;
    return;
  }
  if (inTextBody() && (!readHeader_ || !classify(line, true).endsReply)) {
    // The text of a message is the body whatever it looks like ("+49...", "> see above"). After
    // the header of a read or a listing a final result is still one: some modems put it between
    // the header and the text. An arriving message has no final result.
    c = {AsyncEvent::kInformation, ReplySlot::Unsolicited, false};
    bodyFollows_ = false;
    textBody_ = false;
  } else {
    c = classify(line, bodyFollows_);
    afterPrompt_ = c.kind == AsyncEvent::kPrompt;
    // A ring between a header and its body leaves the body announced.
    if (!c.endsReply && c.kind != AsyncEvent::kCall) {
      bodyFollows_ = announcesBody(line);
      textBody_ = bodyFollows_ && isTextHeader(line);
      readHeader_ = startsWithNoCase(line, "+CMGR:") || startsWithNoCase(line, "+CMGL:");
    }
  }
  deliverAs(c, line, sink);
}

void ReplyParser::deliverAs(const Classification& c, std::string_view line, ReplySink& sink) {
  if (!sink.accepts(c.slot)) return;
  std::u16string text = fromUtf8(line);
  std::string raw = toUtf8(text);
  int code = c.kind == AsyncEvent::kError ? 100 : 0;
  if (c.kind == AsyncEvent::kCodedError) {
    ModemErrorLine error = ModemErrorLine::read(text);
    code = error.code;
    text = std::move(error.text);
  }
  sink.deliver(c.slot, std::make_unique<AsyncEvent>(c.kind, code, std::move(text), std::move(raw)));
}

std::size_t ReplyParser::parse(char* data, std::size_t length, ReplySink& sink) {
  std::size_t start = 0;
  if (skipping_) {
    while (start < length && !isLineEnd(data[start])) ++start;
    if (start == length) return 0;  // still inside the over-long line
    skipping_ = false;
  }
  // The complete part ends at the last CR or LF, or at a ">" that begins a line (the prompt,
  // which has no line end after it). A ">" inside a line never ends it: a line that arrives in
  // pieces must not be cut at a ">" in its text.
  std::size_t end = start;
  for (std::size_t i = length; i > start; --i) {
    const char c = data[i - 1];
    if (isLineEnd(c) || (c == '>' && (i - 1 == start || isLineEnd(data[i - 2])))) {
      end = i;
      break;
    }
  }
  if (end == start) {
    // No line end at all: only an incomplete line.
    if (start > 0) std::memmove(data, data + start, length - start);
    return length - start;
  }
  std::size_t lineStart = start;
  for (std::size_t i = start; i < end; ++i) {
    if (!isLineEnd(data[i])) continue;
    if (inTextBody()) {
      // A text's own line breaks are bare LFs: the body line ends at CR. A CR right after the
      // header's line end is an empty text.
      if (data[i] == '\n' && i > lineStart && data[i - 1] != '\r') continue;
      if (i == lineStart && data[i] == '\r' && i > start && data[i - 1] == '\n') {
        bodyFollows_ = false;
        textBody_ = false;
      }
    }
    if (i > lineStart) handleLine(std::string_view(data + lineStart, i - lineStart), sink);
    lineStart = i + 1;
  }
  std::size_t consumed = end;
  if (end > lineStart) {
    if (inTextBody()) {
      consumed = lineStart;  // a text line still open after one of its own line breaks
    } else {
      handleLine(std::string_view(data + lineStart, end - lineStart), sink);
    }
  }
  const std::size_t rest = length - consumed;
  if (rest > 0) std::memmove(data, data + consumed, rest);
  return rest;
}

}  // namespace parlane
