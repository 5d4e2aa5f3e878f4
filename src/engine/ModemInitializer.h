#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace parlane {

class AsyncEvent;
class CommandQueue;
class ListReplyEvent;
class SettingsStore;
class SmsSender;
class Notifier;

// Brings a freshly opened modem into a known state and probes what it supports. A state machine
// driven by replies: it queues one command, reads the replies to it (information lines, then the
// final result) and queues the next. No failure stops the series; failures are shown as tray
// notices and the series goes on. Runs on the service thread only, except the memory names,
// which the receiving thread reads and changes too.
class ModemInitializer {
 public:
  // Bits of `checks` and `failedChecks`: which probes run, which failed.
  static constexpr std::uint32_t kCheckCsms = 0x1;
  static constexpr std::uint32_t kCheckCmgf = 0x2;
  static constexpr std::uint32_t kCheckCnmi = 0x4;
  static constexpr std::uint32_t kCheckCmee = 0x8;
  static constexpr std::uint32_t kCheckCmgd = 0x10;
  static constexpr std::uint32_t kCheckCgmm = 0x20;
  static constexpr std::uint32_t kCheckCsq = 0x40;
  static constexpr std::uint32_t kCheckCpms = 0x80;  // failedChecks only: always queried
  static constexpr std::uint32_t kCheckCusd = 0x100;

  // Feature bits, found or assumed.
  static constexpr std::uint32_t kSmsService0 = 0x1;
  static constexpr std::uint32_t kSmsService1 = 0x2;
  static constexpr std::uint32_t kTextMode = 0x4;
  static constexpr std::uint32_t kPduMode = 0x8;
  static constexpr std::uint32_t kIndicationMode2 = 0x10;
  static constexpr std::uint32_t kNotifyIndex = 0x20;    // +CMTI
  static constexpr std::uint32_t kNotifyContent = 0x40;  // +CMT
  static constexpr std::uint32_t kErrorsOff = 0x80;
  static constexpr std::uint32_t kErrorsNumeric = 0x100;
  static constexpr std::uint32_t kErrorsVerbose = 0x200;
  static constexpr std::uint32_t kDeleteByIndex = 0x400;
  static constexpr std::uint32_t kDeleteAll = 0x800;
  static constexpr std::uint32_t kUssdResultOff = 0x1000;
  static constexpr std::uint32_t kUssdResultOn = 0x2000;
  static constexpr std::uint32_t kReportDirect = 0x4000;  // +CDS
  static constexpr std::uint32_t kReportIndex = 0x8000;   // +CDSI
  static constexpr std::uint32_t kBroadcast0 = 0x10000;
  static constexpr std::uint32_t kBroadcast1 = 0x20000;
  static constexpr std::uint32_t kBroadcast2 = 0x40000;
  static constexpr std::uint32_t kBufferFlush0 = 0x80000;
  static constexpr std::uint32_t kBufferFlush1 = 0x100000;

  // The series, in order; kStart before the first command, kFinished after the last.
  enum Step : int {
    kStart = 0,
    kInitString = 1,
    kPin = 2,
    kErrorSupport = 3,
    kErrorMode = 4,
    kSmsSupport = 5,
    kModeSupport = 6,
    kIndicationSupport = 7,
    kDeleteSupport = 8,
    kStorage = 9,
    kUssdSupport = 10,
    kModel = 11,
    kSignal = 12,
    kIndicationMode = 13,
    kSendMode = 14,
    kServiceCentre = 15,
    kCustom = 16,
    kFinished = 17,
    // "AT+CLIP=1" with "calls.handle" 1: caller numbers come with each ring. After the service
    // centre, before the custom commands (which may change it again).
    kCallerId = 18,
  };

  // `notifier` shows the problem notices; null uses the process-wide one.
  ModemInitializer(CommandQueue& sender, SettingsStore& settings, Notifier* notifier = nullptr);
  ModemInitializer(SmsSender& sender, SettingsStore& settings, Notifier* notifier = nullptr);
  ~ModemInitializer();
  ModemInitializer(const ModemInitializer&) = delete;
  ModemInitializer& operator=(const ModemInitializer&) = delete;

  // Starts a new series: nothing of the previous one survives.
  void reset(int useFeatures, std::uint32_t checks);
  // Consumes one reply to the command last queued; true once the series is finished. The first
  // call after reset is made with a synthetic final OK and queues the first command.
  bool step(const AsyncEvent& reply);
  bool isFinished() const { return step_ == kFinished; }

  int currentStep() const { return step_; }
  bool problemsFound() const { return problemsFound_; }
  int problemCount() const { return problemCount_; }
  unsigned signalPercent() const { return signalPercent_; }
  const std::u16string& model() const { return model_; }
  std::uint32_t features() const { return features_; }
  std::uint32_t failedChecks() const { return failedChecks_; }
  std::uint32_t checks() const { return checks_; }

  // "+CUSD:" lines go to the receiving thread, the test response "+CUSD: (0,1)" too, so it can
  // come after the final OK of its command or even after the series. The receiver hands it
  // here; it is not a network reply. Any thread.
  static bool isUssdTestResponse(const AsyncEvent& line);
  void noteUssdTestResponse(const AsyncEvent& line);

  // The storages mem1..mem3 the modem reported; the receiver switches mem1 when a message
  // arrives in another storage. Locked: two threads use them.
  std::u16string memoryName(int index) const;
  void setMemoryName(int index, std::u16string_view name);

 private:
  enum class ReplyType { Information, Ok, Error };

  // Queues the command of `step` and the ones after it that are not sent (disabled probes,
  // steps without a command) until one is sent or the series ends.
  void enter(int step);
  // The command of a step (empty: none), applying the features assumed for disabled probes.
  std::string commandFor(int step);
  void assumeFeatures(int step);
  bool isSkipped(int step) const;
  void onInformation(const AsyncEvent& line);
  void onError(std::u16string_view text);
  // The step's final reply came (or a skipped step counts as answered OK): the next step.
  int stepAfter(int step);

  void readTestResponse(const AsyncEvent& line, std::uint32_t check, std::u16string_view what,
                        bool reportUnreadable);
  void readFeatures(const ListReplyEvent& list);
  void readStorage(std::u16string_view value);
  void readSignal(std::u16string_view value);
  void chooseReadMode();

  void report(std::u16string_view text);
  void probeFailure(std::uint32_t check, std::u16string_view text);
  void setFailure(std::u16string_view text);
  void finish();

  std::unique_ptr<CommandQueue> ownedSender_;
  CommandQueue& sender_;
  SettingsStore& settings_;
  Notifier* notifier_;

  int step_ = kStart;
  int customInitIndex_ = 0;
  std::uint32_t checks_ = 0x7FFF;
  // Also written by the receiving thread (noteUssdTestResponse).
  std::atomic<std::uint32_t> features_{0};
  std::uint32_t failedChecks_ = 0;
  int problemCount_ = 0;
  std::u16string model_;
  unsigned signalPercent_ = 0;
  int useFeatures_ = 1;
  bool problemsFound_ = false;

  mutable std::mutex memoryMutex_;
  std::array<std::u16string, 3> memoryNames_;
};

}  // namespace parlane
