// Large folders: load time, resident memory after load, the append path (a new record in a
// folder without a limit), the rewrite path (the same with a limit) and a full findFirst scan.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "storage/FileDatabase.h"
#include "storage/FolderSchema.h"
#include "storage/RegisterColumns.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

const char* const kWords[] = {"hello",   "meeting", "tomorrow", "at",       "the",    "office",
                              "please",  "call",    "me",       "back",     "your",   "code",
                              "is",      "Grüße",   "café",     "delivery", "parcel", "arrives",
                              "between", "and",     "thanks",   "ok"};

std::string content(std::mt19937& random) {
  std::string text;
  while (text.size() < 160) {
    if (!text.empty()) text += ' ';
    text += kWords[random() % (sizeof kWords / sizeof kWords[0])];
  }
  if (random() % 4 == 0) text += "%0D%0A-- sent from Parlane";
  return text;
}

std::string line(int id, std::mt19937& random) {
  char head[96];
  std::snprintf(head, sizeof head, "%08x\t%d\t+4917%07u\tsms\t%d\t", id, 1700000000 + id,
                static_cast<unsigned>(random() % 10000000), 1 + static_cast<int>(random() % 2));
  char tail[96];
  std::snprintf(tail, sizeof tail, "\t\t1\t%d\t%d\t%d\t\t86400\t\r\n", (random() % 3) ? 0 : 4,
                id + 1000, static_cast<int>(random() % 256));
  return head + content(random) + tail;
}

// Folder files are made once per size in a temporary folder, removed at exit.
class Folders {
 public:
  std::string file(int records) {
    const std::string path = root_.file("sent-" + std::to_string(records) + ".txt");
    if (!std::filesystem::exists(path)) {
      std::mt19937 random(42);
      std::ofstream out(path, std::ios::binary);
      for (int id = 1; id <= records; ++id) out << line(id, random);
    }
    return path;
  }
  // A private copy, for benchmarks that change the file.
  std::string copy(int records, const std::string& tag) {
    const std::string path = file(records);
    const std::string target = path + "." + tag;
    std::filesystem::copy_file(path, target, std::filesystem::copy_options::overwrite_existing);
    // Flushed now, so the first measured save doesn't pay for writing the whole copy out.
    const int fd = ::open(target.c_str(), O_RDONLY);
    ::fsync(fd);
    ::close(fd);
    return target;
  }

 private:
  test::TempDir root_;
};

Folders& folders() {
  static Folders instance;
  return instance;
}

struct Opened {
  SettingsStore settings;
  std::unique_ptr<FileDatabase> db;
};

std::unique_ptr<Opened> open(const std::string& path, int limit) {
  auto opened = std::make_unique<Opened>();
  registerColumns(opened->settings, u"sent", storeColumns(StoreKind::Sent));
  opened->settings.setString("sent.filename", fromUtf8(path));
  opened->settings.setInt("sent.maxrecords", limit);
  opened->db = std::make_unique<FileDatabase>(u"sent", opened->settings);
  return opened;
}

double residentMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      double kilobytes = 0;
      status >> kilobytes;
      return kilobytes / 1024.0;
    }
    std::getline(status, key);
  }
  return 0;
}

DatabaseRecord newRecord(FileDatabase& db, std::mt19937& random) {
  return {db.newIdText(),
          u"1700000000",
          u"+491701234567",
          u"sms",
          u"1",
          fromUtf8(content(random)),
          u"",
          u"1",
          u"4",
          u"1",
          u"7",
          u"",
          u"86400",
          u""};
}

void BM_ResidentAfterLoad(benchmark::State& state) {
  const std::string path = folders().file(static_cast<int>(state.range(0)));
  ::malloc_trim(0);
  const double before = residentMegabytes();
  std::unique_ptr<Opened> opened;
  for (auto _ : state) {
    opened = open(path, 0);
    if (opened->db->load(true) != 0) state.SkipWithError("load failed");
  }
  state.counters["rss_mb"] = residentMegabytes();
  state.counters["rss_delta_mb"] = residentMegabytes() - before;
  state.counters["records"] = static_cast<double>(opened->db->count());
  opened.reset();
  ::malloc_trim(0);
}

void BM_Load(benchmark::State& state) {
  const std::string path = folders().file(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto opened = open(path, 0);
    if (opened->db->load(true) != 0) state.SkipWithError("load failed");
    state.PauseTiming();
    opened.reset();  // freeing is not part of the load
    state.ResumeTiming();
  }
}

void BM_AppendPath(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  auto opened = open(folders().copy(records, "append"), 0);
  opened->db->load(true);
  std::mt19937 random(7);
  for (auto _ : state) {
    opened->db->put(newRecord(*opened->db, random));
    if (opened->db->save() != 0) state.SkipWithError("save failed");
  }
}

// What the disk alone costs per append: one line written and flushed to disk, the floor under
// the append path (which flushes every save so that a power cut loses nothing).
void BM_DiskSyncFloor(benchmark::State& state) {
  const std::string path = folders().file(1) + ".sync";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  const std::string text = "00000001\t1700000000\t+491701234567\tsms\t1\thello\r\n";
  for (auto _ : state) {
    if (::write(fd, text.data(), text.size()) < 0 || ::fsync(fd) != 0) {
      state.SkipWithError("write failed");
    }
  }
  ::close(fd);
}

void BM_RewritePath(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  auto opened = open(folders().copy(records, "rewrite"), records);
  opened->db->load(true);
  std::mt19937 random(7);
  for (auto _ : state) {
    opened->db->put(newRecord(*opened->db, random));
    if (opened->db->save() != 0) state.SkipWithError("save failed");
  }
}

void BM_FindFirstScan(benchmark::State& state) {
  auto opened = open(folders().file(static_cast<int>(state.range(0))), 0);
  opened->db->load(true);
  DatabaseRecord record;
  for (auto _ : state) {
    // No record has this text: every record is compared.
    benchmark::DoNotOptimize(opened->db->findFirst(5, u"no such message text", record));
  }
}

// The 100,000-record figures first, so that their resident memory is not inflated by the larger
// folder. Fixed iteration counts keep the whole run to a few minutes.
BENCHMARK(BM_ResidentAfterLoad)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(100000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DiskSyncFloor)->Iterations(300)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_AppendPath)
    ->Arg(100000)
    ->Iterations(300)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_RewritePath)
    ->Arg(100000)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FindFirstScan)->Arg(100000)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResidentAfterLoad)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AppendPath)
    ->Arg(1000000)
    ->Iterations(300)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_RewritePath)
    ->Arg(1000000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FindFirstScan)->Arg(1000000)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace parlane

BENCHMARK_MAIN();
