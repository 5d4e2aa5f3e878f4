#include "engine/ModemInitializer.h"

#include <algorithm>
#include <vector>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Notifier.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"
#include "engine/CommandQueue.h"
#include "engine/CommandText.h"
#include "engine/ModemModes.h"
#include "engine/ReplyFields.h"
#include "engine/SenderCommandQueue.h"
#include "engine/StrayLines.h"
#include "transport/AsyncEvent.h"
#include "transport/ListReplyEvent.h"
#include "transport/ReplyText.h"

namespace parlane {

namespace {

constexpr std::u16string_view kProblemsTitle = u"Connected, but some problems found";
constexpr std::u16string_view kMemoryFullTitle = u"Modem memory full";
constexpr std::u16string_view kFailedTitle = u"Connection failed";
constexpr std::u16string_view kFailedText =
    u"The connection with the modem can't be established. Please read help or contact the "
    u"technical support.";
constexpr std::u16string_view kInvalidReply = u"Invalid modem reply (see log for details)";
constexpr int kMaxProblems = 6;

// The failure texts of the probes; each is followed by the reason and ". ".
constexpr std::u16string_view kCmeeFailure = u"While getting error support (AT+CMEE): ";
constexpr std::u16string_view kCsmsFailure = u"While getting SMS support (AT+CSMS): ";
constexpr std::u16string_view kCmgfFailure = u"While getting text/PDU mode support (AT+CMGF): ";
constexpr std::u16string_view kCnmiFailure = u"While getting notification support (AT+CNMI): ";
constexpr std::u16string_view kCmgdFailure = u"While getting deleting support (AT+CMGD): ";
constexpr std::u16string_view kCpmsFailure = u"While getting modem memory types (AT+CPMS): ";
constexpr std::u16string_view kCusdFailure = u"While getting USSD support (AT+CUSD):";
constexpr std::u16string_view kCgmmFailure = u"While getting modem model (AT+CGMM): ";
constexpr std::u16string_view kCsqFailure = u"While getting signal strength (AT+CSQ): ";

// Feature bit for value `value` in row `row` of a test response.
struct FeatureCell {
  int row;
  int value;
  std::uint32_t feature;
};

constexpr FeatureCell kCmeeCells[] = {{0, 0, ModemInitializer::kErrorsOff},
                                      {0, 1, ModemInitializer::kErrorsNumeric},
                                      {0, 2, ModemInitializer::kErrorsVerbose}};
constexpr FeatureCell kCsmsCells[] = {{0, 0, ModemInitializer::kSmsService0},
                                      {0, 1, ModemInitializer::kSmsService1}};
constexpr FeatureCell kCmgfCells[] = {{0, 0, ModemInitializer::kPduMode},
                                      {0, 1, ModemInitializer::kTextMode}};
constexpr FeatureCell kCnmiCells[] = {
    {0, 2, ModemInitializer::kIndicationMode2}, {1, 1, ModemInitializer::kNotifyIndex},
    {1, 2, ModemInitializer::kNotifyContent},   {2, 0, ModemInitializer::kBroadcast0},
    {2, 1, ModemInitializer::kBroadcast1},      {2, 2, ModemInitializer::kBroadcast2},
    {3, 1, ModemInitializer::kReportDirect},    {3, 2, ModemInitializer::kReportIndex},
    {4, 0, ModemInitializer::kBufferFlush0},    {4, 1, ModemInitializer::kBufferFlush1}};
constexpr FeatureCell kCmgdCells[] = {{1, 0, ModemInitializer::kDeleteByIndex},
                                      {1, 4, ModemInitializer::kDeleteAll}};
constexpr FeatureCell kCusdCells[] = {{0, 0, ModemInitializer::kUssdResultOff},
                                      {0, 1, ModemInitializer::kUssdResultOn}};

template <std::size_t N>
std::uint32_t featuresOf(const ListReplyEvent& list, const FeatureCell (&cells)[N]) {
  std::uint32_t found = 0;
  for (const FeatureCell& cell : cells) {
    if (list.lookup(cell.value, cell.row)) found |= cell.feature;
  }
  return found;
}

// The text of an information line: after its "+NAME:" prefix, or the whole line (a model name).
std::u16string valueOf(const AsyncEvent& line) {
  const std::u16string text = withoutLineEnds(line.text);
  if (!text.empty() && text.front() == u'+') {
    const std::size_t colon = text.find(u':');
    if (colon != std::u16string::npos)
      return trimBlanks(std::u16string_view(text).substr(colon + 1));
  }
  return trimBlanks(text);
}

// An error reply that the delete and storage queries do not count: some modems answer them so
// while the SIM is still busy after the PIN.
bool isHarmlessQueryError(std::u16string_view text) {
  return text == u"SM BL not ready" || text == u"ERROR";
}

std::uint32_t checkOf(int step) {
  switch (step) {
    case ModemInitializer::kSmsSupport:
      return ModemInitializer::kCheckCsms;
    case ModemInitializer::kModeSupport:
      return ModemInitializer::kCheckCmgf;
    case ModemInitializer::kIndicationSupport:
      return ModemInitializer::kCheckCnmi;
    case ModemInitializer::kErrorSupport:
      return ModemInitializer::kCheckCmee;
    case ModemInitializer::kDeleteSupport:
      return ModemInitializer::kCheckCmgd;
    case ModemInitializer::kModel:
      return ModemInitializer::kCheckCgmm;
    case ModemInitializer::kSignal:
      return ModemInitializer::kCheckCsq;
    case ModemInitializer::kStorage:
      return ModemInitializer::kCheckCpms;
    case ModemInitializer::kUssdSupport:
      return ModemInitializer::kCheckCusd;
    default:
      return 0;
  }
}

}  // namespace

ModemInitializer::ModemInitializer(CommandQueue& sender, SettingsStore& settings,
                                   Notifier* notifier)
    : sender_(sender), settings_(settings), notifier_(notifier) {}

ModemInitializer::ModemInitializer(SmsSender& sender, SettingsStore& settings, Notifier* notifier)
    : ownedSender_(std::make_unique<SenderCommandQueue>(sender)),
      sender_(*ownedSender_),
      settings_(settings),
      notifier_(notifier) {}

ModemInitializer::~ModemInitializer() = default;

void ModemInitializer::reset(int useFeatures, std::uint32_t checks) {
  step_ = kStart;
  customInitIndex_ = 0;
  features_ = 0;
  failedChecks_ = 0;
  problemCount_ = 0;
  problemsFound_ = false;
  signalPercent_ = 0;
  model_.clear();
  {
    std::lock_guard guard(memoryMutex_);
    for (auto& name : memoryNames_) name.clear();
  }
  useFeatures_ = useFeatures;
  checks_ = checks;
}

bool ModemInitializer::step(const AsyncEvent& reply) {
  if (isFinished()) return true;
  ReplyType type = ReplyType::Ok;
  switch (reply.kind) {
    case AsyncEvent::kWritten:
      return false;  // not a reply
    case AsyncEvent::kCall:
      return false;  // a call rings whenever it comes; it answers no command
    case AsyncEvent::kInformation:
    case AsyncEvent::kStringReply:
    case AsyncEvent::kListReply:
      type = ReplyType::Information;
      break;
    case AsyncEvent::kError:
    case AsyncEvent::kCodedError:
    case AsyncEvent::kPrompt:  // a prompt nobody asked for ends the command as a failure
      type = ReplyType::Error;
      break;
    default:
      break;
  }
  if (step_ == kStart) {
    // Only the synthetic OK starts the series; anything left over from before is not an answer.
    if (type == ReplyType::Ok) enter(kInitString);
    return isFinished();
  }
  if (type == ReplyType::Information) {
    if (reply.kind == AsyncEvent::kInformation) {
      onInformation(reply);
    } else {
      // Converted events keep the line in raw.
      onInformation(
          AsyncEvent(AsyncEvent::kInformation, reply.code, fromUtf8(reply.raw), reply.raw));
    }
    return false;
  }
  if (type == ReplyType::Error) onError(reply.text);
  enter(stepAfter(step_));
  return isFinished();
}

std::u16string ModemInitializer::memoryName(int index) const {
  if (index < 0 || index > 2) return {};
  std::lock_guard guard(memoryMutex_);
  return memoryNames_[static_cast<std::size_t>(index)];
}

void ModemInitializer::setMemoryName(int index, std::u16string_view name) {
  if (index < 0 || index > 2) return;
  std::lock_guard guard(memoryMutex_);
  memoryNames_[static_cast<std::size_t>(index)] = std::u16string(name);
}

void ModemInitializer::enter(int step) {
  while (step != kFinished) {
    step_ = step;
    const std::string command = commandFor(step);
    if (step == kCustom && command.empty()) break;  // the first empty custom command ends it
    if (!command.empty() && !isSkipped(step)) {
      sender_.queueCommand(std::make_unique<ATCommandMessage>(fromUtf8(command)));
      return;
    }
    // Not sent: processed at once as if the modem had answered OK.
    step = stepAfter(step);
  }
  finish();
}

std::string ModemInitializer::commandFor(int step) {
  assumeFeatures(step);
  switch (step) {
    case kInitString:
      return toUtf8(settings_.getString("modem.init")) + "\r\n";
    case kPin:
      if (settings_.getInt("modem.use_pin") == 0) return {};
      return "AT+CPIN=" + toUtf8(settings_.getString("modem.pin")) + "\r\n";
    case kErrorSupport:
      return "AT+CMEE=?\r\n";
    case kErrorMode:
      return "AT+CMEE=1\r\n";
    case kSmsSupport:
      return "AT+CSMS=?\r\n";
    case kModeSupport:
      return "AT+CMGF=?\r\n";
    case kIndicationSupport:
      return "AT+CNMI=?\r\n";
    case kDeleteSupport:
      return "AT+CMGD=?\r\n";
    case kStorage:
      return "AT+CPMS?\r\n";
    case kUssdSupport:
      return "AT+CUSD=?\r\n";
    case kModel:
      return "AT+CGMM\r\n";
    case kSignal:
      return "AT+CSQ\r\n";
    case kIndicationMode: {
      std::string command = "AT+CNMI=2";
      const ReadMode readMode = readReadMode(settings_);
      command += readMode == ReadMode::kNotifyIndex     ? ",1"
                 : readMode == ReadMode::kNotifyContent ? ",2"
                                                        : ",0";
      // The three further values only when the modem offers one of each.
      const char* broadcast = (features_ & kBroadcast0)   ? ",0"
                              : (features_ & kBroadcast1) ? ",1"
                              : (features_ & kBroadcast2) ? ",2"
                                                          : nullptr;
      const char* report = (features_ & kReportDirect)  ? ",1"
                           : (features_ & kReportIndex) ? ",2"
                                                        : nullptr;
      const char* buffer = (features_ & kBufferFlush0)   ? ",0"
                           : (features_ & kBufferFlush1) ? ",1"
                                                         : nullptr;
      if (broadcast && report && buffer) {
        command += broadcast;
        command += report;
        command += buffer;
      }
      return command + "\r\n";
    }
    case kSendMode: {
      if (useFeatures_ != 0 && (failedChecks_ & kCheckCmgf) == 0) {
        const bool pdu = (features_ & kPduMode) != 0 || (features_ & kTextMode) == 0;
        settings_.setInt("sender.send_mode",
                         static_cast<int>(pdu ? SendMode::kPdu : SendMode::kText));
      }
      const SendMode sendMode = readSendMode(settings_);
      if (sendMode == SendMode::kPdu) return "AT+CMGF=0\r\n";
      if (sendMode == SendMode::kText) return "AT+CMGF=1\r\n";
      return {};
    }
    case kServiceCentre: {
      std::u16string address = settings_.getString("smsc.address");
      const std::size_t slash = address.find(u'/');
      if (slash != std::u16string::npos) address.resize(slash);
      // An empty address would clear the service centre stored on the SIM.
      address = trimBlanks(address);
      if (address.empty()) return {};
      return "AT+CSCA=\"" + quotableArgument(toUtf8(address)) + "\"\r\n";
    }
    case kCallerId:
      return settings_.getInt("calls.handle") == 1 ? "AT+CLIP=1\r\n" : std::string();
    case kCustom: {
      const std::u16string command =
          settings_.getStringByPattern("modem.custom_init.%d", customInitIndex_);
      if (command.empty()) return {};
      return toUtf8(command) + "\r\n";
    }
    default:
      return {};
  }
}

void ModemInitializer::assumeFeatures(int step) {
  // A disabled probe's features count as offered, set at these moments; step 3 decides about
  // "AT+CMEE=1" before the error-report features are assumed.
  auto assume = [this](std::uint32_t check, std::uint32_t features) {
    if ((checks_ & check) == 0) features_ |= features;
  };
  switch (step) {
    case kInitString:
    case kPin:
      assume(kCheckCsms, kSmsService0 | kSmsService1);
      break;
    case kSmsSupport:
      assume(kCheckCmgf, kTextMode | kPduMode);
      break;
    case kModeSupport:
      assume(kCheckCnmi, kIndicationMode2 | kNotifyIndex | kNotifyContent);
      break;
    case kIndicationSupport:
      assume(kCheckCmee, kErrorsOff | kErrorsNumeric | kErrorsVerbose);
      break;
    case kErrorSupport:
      assume(kCheckCmgd, kDeleteByIndex | kDeleteAll);
      break;
    case kStorage:
      assume(kCheckCusd, kUssdResultOff | kUssdResultOn);
      break;
    default:
      break;
  }
}

bool ModemInitializer::isSkipped(int step) const {
  if (step == kStorage) return false;  // the storage query is always sent
  const std::uint32_t check = checkOf(step);
  return check != 0 && (checks_ & check) == 0;
}

int ModemInitializer::stepAfter(int step) {
  switch (step) {
    case kErrorSupport:
      // "AT+CMEE=1" only where numeric reports are offered (or the probe did not decide).
      if (useFeatures_ != 0 && (failedChecks_ & kCheckCmee) == 0 &&
          (features_ & kErrorsNumeric) == 0) {
        return kSmsSupport;
      }
      return kErrorMode;
    case kSignal:
      if (useFeatures_ != 0) chooseReadMode();
      return kIndicationMode;
    case kServiceCentre:
      return kCallerId;
    case kCallerId:
      return kCustom;
    case kCustom:
      ++customInitIndex_;
      return kCustom;
    default:
      return step + 1;
  }
}

void ModemInitializer::onInformation(const AsyncEvent& line) {
  if (startsWithNoCase(line.text, "+CUSD:")) {
    // Never the answer to another step: a network reply, or the USSD test response, which may
    // come late since it travels through the receiving thread.
    if (isUssdTestResponse(line)) noteUssdTestResponse(line);
    return;
  }
  if (isStrayLine(line.text)) {
    // A ring, a network registration or a vendor status line in the middle of an answer.
    Logger::log(1, formatText(u"Not an answer to the initialization, set aside: %s", {line.text}));
    return;
  }
  switch (step_) {
    case kErrorSupport:
      readTestResponse(line, kCheckCmee, kCmeeFailure, true);
      break;
    case kSmsSupport:
      readTestResponse(line, kCheckCsms, kCsmsFailure, true);
      break;
    case kModeSupport:
      readTestResponse(line, kCheckCmgf, kCmgfFailure, true);
      break;
    case kIndicationSupport:
      readTestResponse(line, kCheckCnmi, kCnmiFailure, true);
      break;
    case kDeleteSupport:
      readTestResponse(line, kCheckCmgd, kCmgdFailure, true);
      break;
    case kUssdSupport:
      readTestResponse(line, kCheckCusd, kCusdFailure, false);
      break;
    case kStorage:
      readStorage(valueOf(line));
      break;
    case kModel:
      model_ = valueOf(line);
      break;
    case kSignal:
      readSignal(valueOf(line));
      break;
    default:
      // The echo of the initialization string, a banner after it, "+CPIN: READY" and the like:
      // only the final result ends these steps, so the replies stay paired with their commands.
      break;
  }
}

bool ModemInitializer::isUssdTestResponse(const AsyncEvent& line) {
  return startsWithNoCase(line.text, "+CUSD:") && valueOf(line).starts_with(u"(");
}

void ModemInitializer::noteUssdTestResponse(const AsyncEvent& line) {
  const ListReplyEvent list(line);
  if (!list.malformed) features_ |= featuresOf(list, kCusdCells);
}

void ModemInitializer::onError(std::u16string_view text) {
  const std::u16string reason = std::u16string(text) + u". ";
  switch (step_) {
    case kPin:
      report(u"While entering PIN code: " + std::u16string(text));
      break;
    case kErrorSupport:
      probeFailure(kCheckCmee, std::u16string(kCmeeFailure) + reason);
      break;
    case kErrorMode:
      setFailure(u"While setting error mode (AT+CMEE): " + reason);
      break;
    case kSmsSupport:
      probeFailure(kCheckCsms, std::u16string(kCsmsFailure) + reason);
      break;
    case kModeSupport:
      probeFailure(kCheckCmgf, std::u16string(kCmgfFailure) + reason);
      break;
    case kIndicationSupport:
      probeFailure(kCheckCnmi, std::u16string(kCnmiFailure) + reason);
      break;
    case kDeleteSupport:
      if (!isHarmlessQueryError(text))
        probeFailure(kCheckCmgd, std::u16string(kCmgdFailure) + reason);
      break;
    case kStorage:
      if (!isHarmlessQueryError(text))
        probeFailure(kCheckCpms, std::u16string(kCpmsFailure) + reason);
      break;
    case kUssdSupport:
      probeFailure(kCheckCusd, std::u16string(kCusdFailure) + reason);
      break;
    case kModel:
      probeFailure(kCheckCgmm, std::u16string(kCgmmFailure) + reason);
      break;
    case kSignal:
      probeFailure(kCheckCsq, std::u16string(kCsqFailure) + reason);
      break;
    case kSendMode:
      setFailure(u"While setting sending mode (AT+CMGF): " + reason);
      break;
    case kServiceCentre:
      setFailure(u"While setting SMSC address (AT+CSCA): " + reason);
      break;
    case kCallerId:
      setFailure(u"While asking for caller numbers (AT+CLIP): " + reason);
      break;
    default:
      // The initialization string, the indication mode and custom commands are not examined.
      break;
  }
}

void ModemInitializer::readTestResponse(const AsyncEvent& line, std::uint32_t check,
                                        std::u16string_view what, bool reportUnreadable) {
  const ListReplyEvent list(line);
  if (list.malformed) {
    if (reportUnreadable) {
      probeFailure(check, std::u16string(what) + std::u16string(kInvalidReply) + u". ");
    }
    return;
  }
  readFeatures(list);
}

void ModemInitializer::readFeatures(const ListReplyEvent& list) {
  switch (step_) {
    case kErrorSupport:
      features_ |= featuresOf(list, kCmeeCells);
      break;
    case kSmsSupport:
      features_ |= featuresOf(list, kCsmsCells);
      break;
    case kModeSupport:
      features_ |= featuresOf(list, kCmgfCells);
      break;
    case kIndicationSupport:
      features_ |= featuresOf(list, kCnmiCells);
      break;
    case kDeleteSupport:
      features_ |= featuresOf(list, kCmgdCells);
      break;
    case kUssdSupport:
      features_ |= featuresOf(list, kCusdCells);
      break;
    default:
      break;
  }
}

void ModemInitializer::readStorage(std::u16string_view value) {
  const std::vector<std::u16string> fields = splitReplyFields(value);
  if (fields.size() < 9) {
    probeFailure(kCheckCpms, std::u16string(kCpmsFailure) + std::u16string(kInvalidReply) + u". ");
    return;
  }
  {
    std::lock_guard guard(memoryMutex_);
    memoryNames_ = {fields[0], fields[3], fields[6]};
  }
  // A full memory takes no further message and announces none: reception stops silently.
  std::vector<std::u16string> named;
  for (std::size_t at = 0; at + 2 < fields.size() && at < 9; at += 3) {
    const std::u16string& name = fields[at];
    const int used = SettingsStore::parseInt(fields[at + 1]);
    const int total = SettingsStore::parseInt(fields[at + 2]);
    if (total <= 0 || used < total) continue;
    if (std::find(named.begin(), named.end(), name) != named.end()) continue;
    named.push_back(name);
    const std::u16string text = u"The modem memory \"" + name + u"\" is full (" + fields[at + 1] +
                                u" of " + fields[at + 2] +
                                u" used): no further message can arrive until it is emptied";
    Logger::log(2, text);
    if (Notifier* notifier = notifier_) notifier->balloon(kMemoryFullTitle, text);
  }
}

void ModemInitializer::readSignal(std::u16string_view value) {
  std::size_t i = 0;
  while (i < value.size() && (value[i] < u'0' || value[i] > u'9')) ++i;
  unsigned number = 0;
  for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i) {
    number = number < 1000 ? number * 10 + (value[i] - u'0') : number;
  }
  signalPercent_ = number < 99 ? number * 3 : 0;
}

void ModemInitializer::chooseReadMode() {
  ReadMode readMode = ReadMode::kIgnore;
  if (failedChecks_ & kCheckCnmi) {
    readMode = ReadMode::kIgnore;
  } else if (features_ & kNotifyIndex) {
    readMode = ReadMode::kNotifyIndex;
  } else if (features_ & kNotifyContent) {
    readMode = ReadMode::kNotifyContent;
  } else if ((failedChecks_ & kCheckCmgd) == 0 && (features_ & (kDeleteByIndex | kDeleteAll))) {
    readMode = ReadMode::kPolling;
  }
  settings_.setInt("sender.read_mode", static_cast<int>(readMode));
}

void ModemInitializer::report(std::u16string_view text) {
  Notifier* notifier = notifier_;
  if (notifier) {
    notifier->balloon(kProblemsTitle, text);
  } else {
    Logger::log(2, std::u16string(kProblemsTitle) + u": " + std::u16string(text));
  }
}

void ModemInitializer::probeFailure(std::uint32_t check, std::u16string_view text) {
  report(text);
  // One count per failed step, however many of its replies were wrong.
  if ((failedChecks_ & check) == 0) ++problemCount_;
  failedChecks_ |= check;
  problemsFound_ = true;
}

void ModemInitializer::setFailure(std::u16string_view text) {
  report(text);
  problemsFound_ = true;
}

void ModemInitializer::finish() {
  step_ = kFinished;
  if (problemCount_ > kMaxProblems) {
    Notifier* notifier = notifier_;
    if (notifier) {
      notifier->balloon(kFailedTitle, kFailedText);
    } else {
      Logger::log(2, std::u16string(kFailedTitle) + u": " + std::u16string(kFailedText));
    }
  }
}

}  // namespace parlane
