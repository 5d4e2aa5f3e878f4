// How many short messages per second the sender completes against a modem that answers at once
// (prompt, +CMGS, OK) at the far end of a pseudo-terminal, and where the time of one message goes.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "engine/EngineSink.h"
#include "engine/SmsSender.h"
#include "gsm/PduEncoder.h"
#include "message/SMSMessage.h"
#include "support/ScriptedModem.h"
#include "transport/AsyncSerialComm.h"

namespace parlane {
namespace {

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

// The modem at the far end of a pseudo-terminal: answers every "AT+CMGS=" with a prompt and every
// body with a reference and OK, and notes when each arrived.
class InstantModem {
 public:
  InstantModem() {
    modem_.onCommand([this](const std::string& command, std::string& reply) {
      const Clock::time_point now = Clock::now();
      if (command.rfind("AT+CMGS=", 0) == 0) {
        reply = "\r\n> ";
        std::lock_guard guard(mutex_);
        commandTimes_.push_back(now);
      } else if (!command.empty() && command[0] >= '0' && command[0] <= '9') {
        reply = "\r\n+CMGS: " + std::to_string(++reference_ % 256) + "\r\n\r\nOK\r\n";
        std::lock_guard guard(mutex_);
        bodyTimes_.push_back(now);
      } else {
        reply = "\r\nERROR\r\n";
      }
      return true;
    });
  }

  const std::string& path() const { return modem_.portPath(); }

  // Arrival times of commands and bodies since the last call.
  void takeTimes(std::vector<Clock::time_point>& commands, std::vector<Clock::time_point>& bodies) {
    std::lock_guard guard(mutex_);
    commands.swap(commandTimes_);
    bodies.swap(bodyTimes_);
    commandTimes_.clear();
    bodyTimes_.clear();
  }

 private:
  int reference_ = 0;  // the modem's thread only
  std::mutex mutex_;
  std::vector<Clock::time_point> commandTimes_;
  std::vector<Clock::time_point> bodyTimes_;
  // Last, so that its thread, which runs the rule above, ends first.
  test::ScriptedModem modem_;
};

// Counts the handled messages and notes when each result arrived.
class CountingSink : public EngineSink {
 public:
  void notify(int code, int flag, std::unique_ptr<GenericMessage>) override {
    if (code != notice::kHandled) return;
    std::lock_guard guard(mutex_);
    ++handled_;
    if (flag != 1) ++failed_;
    times_.push_back(Clock::now());
    changed_.notify_all();
  }
  void notifyReply(int, int, std::unique_ptr<AsyncEvent>) override {}

  void waitFor(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return handled_ >= count; });
  }
  int failed() {
    std::lock_guard guard(mutex_);
    return failed_;
  }
  std::vector<Clock::time_point> takeTimes() {
    std::lock_guard guard(mutex_);
    std::vector<Clock::time_point> taken;
    taken.swap(times_);
    return taken;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int handled_ = 0;
  int failed_ = 0;
  std::vector<Clock::time_point> times_;
};

struct Rig {
  Rig() {
    channel.startThread();
    if (!channel.open(std::u16string(modem.path().begin(), modem.path().end()))) {
      std::fprintf(stderr, "can't open %s\n", modem.path().c_str());
      std::exit(1);
    }
    channel.setStatus(ChannelStatus::Idle);
    sender.setSink(&sink);
    sender.start();
  }
  ~Rig() {
    sender.stop();
    sender.join();
    channel.requestStop();
    channel.joinThread();
  }

  std::unique_ptr<SMSMessage> message(std::size_t length) {
    return std::make_unique<SMSMessage>(u"", u"+491701234567", std::u16string(length, u'a'));
  }

  InstantModem modem;
  SettingsStore settings;
  AsyncSerialComm channel{settings};
  CountingSink sink;
  SmsSender sender{channel, settings};
  int done = 0;
};

// Messages queued all at once, as the outbox hands them over: messages per second.
double throughput(Rig& rig, std::size_t length, int count) {
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < count; ++i) rig.sender.enqueue(rig.message(length));
  rig.done += count;
  rig.sink.waitFor(rig.done);
  return count / std::chrono::duration<double>(Clock::now() - start).count();
}

// One message at a time: enqueue -> command at the modem -> body at the modem -> result.
void breakdown(Rig& rig, int count) {
  std::vector<Clock::time_point> commands;
  std::vector<Clock::time_point> bodies;
  rig.modem.takeTimes(commands, bodies);
  rig.sink.takeTimes();
  double toCommand = 0;
  double toBody = 0;
  double toResult = 0;
  for (int i = 0; i < count; ++i) {
    const Clock::time_point start = Clock::now();
    rig.sender.enqueue(rig.message(20));
    rig.sink.waitFor(++rig.done);
    rig.modem.takeTimes(commands, bodies);
    const std::vector<Clock::time_point> results = rig.sink.takeTimes();
    if (commands.size() != 1 || bodies.size() != 1 || results.size() != 1) continue;
    toCommand += microseconds(commands[0] - start);
    toBody += microseconds(bodies[0] - commands[0]);
    toResult += microseconds(results[0] - bodies[0]);
  }
  const double total = toCommand + toBody + toResult;
  std::printf("  one message at a time: %.0f us each (%.0f per second)\n", total / count,
              count / (total / 1e6));
  std::printf("    queue hand-over, encoding, command write:  %6.0f us (%4.1f%%)\n",
              toCommand / count, 100 * toCommand / total);
  std::printf("    prompt round trip and hexadecimal body:    %6.0f us (%4.1f%%)\n", toBody / count,
              100 * toBody / total);
  std::printf("    reference and OK round trip, result:       %6.0f us (%4.1f%%)\n",
              toResult / count, 100 * toResult / total);
}

// The part of the first step that is the sender's own work.
void encoding() {
  const PduEncoder encoder(PduEncoderOptions{});
  const SMSMessage message(u"", u"+491701234567", std::u16string(20, u'a'));
  constexpr int kRounds = 20000;
  std::size_t octets = 0;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kRounds; ++i) octets += encoder.encodeOutgoing(message).front().size();
  const double each = microseconds(Clock::now() - start) / kRounds;
  std::printf("    of which encoding one unit (%zu octets):  %6.2f us\n", octets / kRounds, each);
}

}  // namespace
}  // namespace parlane

int main() {
  using namespace parlane;
  Rig rig;
  throughput(rig, 20, 200);  // warm-up
  std::printf("bench_engine: SmsSender against a pseudo-terminal modem answering at once\n");
  const double single = throughput(rig, 20, 3000);
  std::printf("  single-part messages: %8.0f per second (%.2f ms each)\n", single, 1000 / single);
  const double triple = throughput(rig, 400, 1000);
  std::printf("  three-part messages:  %8.0f per second (%.2f ms each, %.0f segments per second)\n",
              triple, 1000 / triple, 3 * triple);
  breakdown(rig, 2000);
  encoding();
  if (rig.sink.failed() != 0) {
    std::printf("  %d messages failed\n", rig.sink.failed());
    return 1;
  }
  return 0;
}
