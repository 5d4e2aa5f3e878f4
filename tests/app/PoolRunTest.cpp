// Two instances of the real program, each on its own pseudo-terminal modem, share one pool
// folder: every message is sent exactly once, counted at the modems, when one modem is unplugged
// halfway and when the instances are killed and restarted at random. parlane-send --pool writes
// into the pool.
#include <sys/stat.h>

#include <filesystem>
#include <mutex>
#include <random>
#include <set>

#include "GatewayRun.h"
#include "SendRun.h"
#include "storage/FolderJournal.h"
#include "support/InitializationReplies.h"
#include "support/ScriptedModem.h"

namespace parlane {
namespace {

using test::GatewayRun;
using test::runSend;
using test::SendResult;
using namespace std::chrono_literals;

constexpr std::size_t kContent = 5;

// A modem that keeps every message body it confirmed with a reference. Frozen, it gives no
// prompt to a send and no answer to a body, and counts neither: what it never confirmed, the
// gateway rightly sends again. So the counts show what the gateways did, not the one unknowable
// case of a real modem, a body it took just before the gateway died.
class CountingModem {
 public:
  explicit CountingModem(std::chrono::milliseconds bodyPause = 0ms) {
    modem.setEcho(true);
    test::answerInitialization(modem);
    modem.onCommand([this](const std::string& command, std::string& reply) {
      if (!command.starts_with("AT+CMGS=")) return false;
      std::lock_guard guard(mutex_);
      if (frozen_) {
        waitsWhileFrozen_ = true;
      } else {
        reply = "\r\n> ";
      }
      return true;
    });
    modem.onCommand([this, bodyPause](const std::string& command, std::string& reply) {
      if (command.empty() || command.starts_with("AT") ||
          command.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) {
        return false;
      }
      std::this_thread::sleep_for(bodyPause);
      std::lock_guard guard(mutex_);
      if (frozen_) {
        waitsWhileFrozen_ = true;
        return true;
      }
      bodies_.push_back(command);
      reply = "\r\n+CMGS: " + std::to_string(bodies_.size() % 256) + "\r\n\r\nOK\r\n";
      return true;
    });
    modem.onPrefix("", "\r\nOK\r\n");
  }

  void freeze(bool frozen) {
    std::lock_guard guard(mutex_);
    frozen_ = frozen;
    waitsWhileFrozen_ = false;
  }
  // Frozen, the gateway asked for its next send or wrote its next body, and waits for an answer
  // that does not come: it has read the answers to all before.
  bool waitsWhileFrozen() const {
    std::lock_guard guard(mutex_);
    return waitsWhileFrozen_;
  }
  std::vector<std::string> bodies() const {
    std::lock_guard guard(mutex_);
    return bodies_;
  }

  test::ScriptedModem modem;

 private:
  mutable std::mutex mutex_;
  bool frozen_ = false;
  bool waitsWhileFrozen_ = false;
  std::vector<std::string> bodies_;
};

// One instance of the gateway in a profile of its own, on `modem`, sharing `pool`.
class PoolInstance : public GatewayRun {
 public:
  // The records of "sent" a start would load: a line the kill cut short is not one of them, and
  // its message was not filed.
  std::size_t filedAsSent() const {
    const std::string name = "config/Quortane SMS/sent." + std::to_string(instance) + ".txt";
    std::map<std::string, std::string> lines;
    const std::string text = profile.read(name);
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
      const std::string line = text.substr(start, end - start);
      if (line.size() > 1) lines[line.substr(0, line.find('\t'))] = line;
    }
    if (std::filesystem::exists(profile.file(name + ".journal"))) {
      for (const JournalBatch& batch : parseJournal(profile.read(name + ".journal")).batches) {
        for (const JournalChange& change : batch.changes) {
          if (change.removal) {
            lines.erase(change.text);
          } else {
            lines[change.text.substr(0, change.text.find('\t'))] = change.text;
          }
        }
      }
    }
    return lines.size();
  }

  PoolInstance(int number, const std::string& pool, const std::string& port) {
    instance = number;
    configure({{"modem.port", port},
               {"spool.pool", pool},
               {"spool.pool_batch", "2"},
               {"spool.pool_return", "1"},
               // One log for the whole run, so that its starts can be counted.
               {"logger.maxsize", "100000"}});
  }
};

class TwoInstancesOnePool : public testing::Test {
 protected:
  TwoInstancesOnePool() { ::mkdir(pool.c_str(), 0700); }

  void fillPool(int count) {
    for (int i = 1; i <= count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "m%04d.sms", i);
      const std::string path = pool + "/" + name;
      std::ofstream(path + ".tmp") << "To: +4917012345\n\npool message " << i << "\n";
      ASSERT_EQ(::rename((path + ".tmp").c_str(), path.c_str()), 0);
    }
  }
  std::size_t filesInPool() const {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(pool)) {
      if (entry.is_regular_file()) ++count;
    }
    return count;
  }
  // Every body either modem confirmed, once for each time.
  std::multiset<std::string> sends(const CountingModem& a, const CountingModem& b) const {
    std::multiset<std::string> all;
    for (const auto& body : a.bodies()) all.insert(body);
    for (const auto& body : b.bodies()) all.insert(body);
    return all;
  }
  static std::size_t distinct(const std::multiset<std::string>& sends) {
    return std::set<std::string>(sends.begin(), sends.end()).size();
  }
  static std::string logs(const PoolInstance& one, const PoolInstance& two) {
    const auto tail = [](const std::string& text) {
      return text.size() > 4000 ? text.substr(text.size() - 4000) : text;
    };
    return "--- instance 1\n" + tail(one.log()) + "--- instance 2\n" + tail(two.log());
  }

  test::TempDir shared;
  std::string pool = shared.file("pool");
};

TEST_F(TwoInstancesOnePool, AThousandMessagesAreSentOnceEachWhenAModemIsUnpluggedHalfway) {
  constexpr int kMessages = 1000;
  CountingModem modemA;
  CountingModem modemB;
  PoolInstance one(1, pool, modemA.modem.portPath());
  PoolInstance two(2, pool, modemB.modem.portPath());
  fillPool(kMessages);
  const pid_t first = one.start();
  const pid_t second = two.start();
  ASSERT_TRUE(
      GatewayRun::eventually([&] { return sends(modemA, modemB).size() >= kMessages / 2; }, 60))
      << logs(one, two);
  // Unplugged between two messages: the first gateway has read every answer its modem gave.
  modemA.freeze(true);
  ASSERT_TRUE(GatewayRun::eventually([&] { return modemA.waitsWhileFrozen(); }, 10))
      << logs(one, two);
  const std::size_t sentByA = modemA.bodies().size();
  modemA.modem.unplug();

  ASSERT_TRUE(
      GatewayRun::eventually([&] { return distinct(sends(modemA, modemB)) == kMessages; }, 60))
      << distinct(sends(modemA, modemB)) << " sent, " << filesInPool() << " in the pool\n"
      << logs(one, two);
  // The unplugged instance gave back what it held, and has nothing left to send.
  EXPECT_TRUE(GatewayRun::eventually([&] { return one.folder("outbox").empty(); }, 10))
      << logs(one, two);
  EXPECT_TRUE(one.logHas("went back to the pool")) << logs(one, two);
  EXPECT_TRUE(two.stop(second));
  EXPECT_TRUE(one.stop(first));

  const std::multiset<std::string> all = sends(modemA, modemB);
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kMessages));
  EXPECT_EQ(distinct(all), static_cast<std::size_t>(kMessages));
  EXPECT_EQ(modemA.bodies().size(), sentByA);
  EXPECT_GT(sentByA, 0u);
  EXPECT_GT(modemB.bodies().size(), 0u);
  EXPECT_EQ(filesInPool(), 0u);
  EXPECT_TRUE(one.folder("failed").empty());
  EXPECT_TRUE(two.folder("failed").empty());
  // What each modem confirmed is what its gateway filed as sent.
  EXPECT_EQ(one.folder("sent").size(), sentByA);
  EXPECT_EQ(two.folder("sent").size(), modemB.bodies().size());
  std::cout << "[          ] modem A sent " << sentByA << ", modem B sent "
            << modemB.bodies().size() << "\n";
}

TEST_F(TwoInstancesOnePool, InstancesKilledAtRandomSendEveryMessageOnce) {
  constexpr int kMessages = 400;
  std::vector<std::unique_ptr<CountingModem>> modems;
  modems.push_back(std::make_unique<CountingModem>(10ms));
  modems.push_back(std::make_unique<CountingModem>(10ms));
  PoolInstance one(1, pool, modems[0]->modem.portPath());
  PoolInstance two(2, pool, modems[1]->modem.portPath());
  std::vector<PoolInstance*> instances = {&one, &two};
  fillPool(kMessages);
  // Where each instance's log stood when its process was last started.
  std::vector<std::size_t> logMarks = {0, 0};
  std::vector<pid_t> pids = {one.start(), two.start()};

  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  const auto allSent = [&] { return distinct(sends(*modems[0], *modems[1])) == kMessages; };
  int kills = 0;
  int away = 0;
  const auto killingEnds = std::chrono::steady_clock::now() + 20s;
  while (!allSent() && std::chrono::steady_clock::now() < killingEnds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50 + random() % 350));
    const std::size_t k = random() % 2;
    CountingModem& modem = *modems[k];
    PoolInstance& instance = *instances[k];
    // Whatever the modem confirmed is filed before the kill; what it is asked meanwhile waits.
    // (A flush on a busy shared disk has been seen to take seconds.)
    modem.freeze(true);
    ASSERT_TRUE(
        GatewayRun::eventually([&] { return instance.filedAsSent() == modem.bodies().size(); }, 30))
        << instance.filedAsSent() << " filed, " << modem.bodies().size() << " confirmed\n"
        << logs(one, two);
    instance.kill(pids[k]);
    ++kills;
    if (random() % 3 == 0) {
      // Started without its modem, for longer than "spool.pool_return": what it took goes back,
      // and the kill may come in the middle of that.
      modem.modem.unplug();
      pids[k] = instance.start();
      std::this_thread::sleep_for(std::chrono::milliseconds(1000 + random() % 1000));
      instance.kill(pids[k]);
      modem.modem.plugBack();
      ++away;
    }
    modem.freeze(false);
    logMarks[k] = instance.log().size();
    pids[k] = instance.start();
  }
  ASSERT_TRUE(GatewayRun::eventually(allSent, 60))
      << distinct(sends(*modems[0], *modems[1])) << " sent, " << filesInPool() << " in the pool\n"
      << logs(one, two);
  // A stop asked for before the last start has set up its signals would not be orderly.
  for (std::size_t k = 0; k < 2; ++k) {
    EXPECT_TRUE(GatewayRun::eventually([&] {
      return instances[k]->log().find("Parlane started", logMarks[k]) != std::string::npos;
    }));
    EXPECT_TRUE(instances[k]->stop(pids[k]));
  }

  const std::multiset<std::string> all = sends(*modems[0], *modems[1]);
  std::size_t twice = 0;
  for (const std::string& body : std::set<std::string>(all.begin(), all.end())) {
    if (all.count(body) > 1) ++twice;
  }
  EXPECT_EQ(twice, 0u) << "sent more than once";
  EXPECT_EQ(distinct(all), static_cast<std::size_t>(kMessages)) << "lost";
  EXPECT_TRUE(one.folder("failed").empty());
  EXPECT_TRUE(two.folder("failed").empty());
  std::cout << "[          ] " << kills << " kills (" << away << " with the modem away), "
            << modems[0]->bodies().size() << " + " << modems[1]->bodies().size() << " sends\n";
}

TEST_F(TwoInstancesOnePool, SendIntoThePoolIsSentByTheConnectedInstance) {
  CountingModem modem;
  PoolInstance one(1, pool, modem.modem.portPath());
  const SendResult queued = runSend(one, {"--pool", "+4917012345", "--text", "pooled"});
  ASSERT_EQ(queued.code, 0) << queued.err;
  const std::string name = queued.out.substr(0, queued.out.find('\n'));
  EXPECT_TRUE(std::filesystem::exists(pool + "/" + name)) << name;
  const pid_t gateway = one.start();
  ASSERT_TRUE(GatewayRun::eventually([&] { return one.folder("sent").size() == 1; })) << one.log();
  EXPECT_EQ(one.folder("sent")[0].at(kContent), "pooled");
  EXPECT_EQ(filesInPool(), 0u);
  EXPECT_TRUE(one.stop(gateway));
}

struct PoolSendCase {
  const char* name;
  std::vector<std::string> arguments;
  std::string poolSetting;
  int code;
  const char* message;
};

void PrintTo(const PoolSendCase& c, std::ostream* os) { *os << c.name; }

class PoolSend : public testing::TestWithParam<PoolSendCase>, public GatewayRun {};

TEST_P(PoolSend, IsRefusedAndWritesNothing) {
  const PoolSendCase& c = GetParam();
  const std::string pool = profile.file("pool");
  configure({{"spool.pool", c.poolSetting.empty() ? "" : pool}});
  const SendResult result = runSend(*this, c.arguments);
  EXPECT_EQ(result.code, c.code);
  EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  EXPECT_FALSE(std::filesystem::exists(pool));
  EXPECT_FALSE(std::filesystem::exists(dataFolder() + "/spool"));
}

INSTANTIATE_TEST_SUITE_P(Cases, PoolSend,
                         testing::Values(PoolSendCase{"NoPoolFolderSet",
                                                      {"--pool", "+4917012345", "--text", "x"},
                                                      "",
                                                      1,
                                                      "no pool folder is set"},
                                         PoolSendCase{
                                             "WaitCantFollowIntoThePool",
                                             {"--pool", "--wait", "+4917012345", "--text", "x"},
                                             "set",
                                             2,
                                             "--wait can't follow"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane
