// Folders that scale: what one change costs in a folder of 100 records against one of 1,000,000
// (a delivery report marked, a message marked handled), receiving with an empty inbox against
// one of 100,000 (the duplicate check), and loading 1,000,000 records: time and peak memory.
// Each figure is printed with its target.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "message/SMSMessage.h"
#include "message/StatusReport.h"
#include "service/DeliveryReportMarking.h"
#include "storage/FileDatabase.h"
#include "storage/FolderSchema.h"
#include "storage/MessageRecords.h"
#include "storage/RegisterColumns.h"

namespace parlane {
namespace {

using SteadyClock = std::chrono::steady_clock;

double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

std::string content(std::mt19937& random) {
  static const char* const kWords[] = {"hello",  "meeting", "tomorrow", "at",    "the",
                                       "office", "please",  "call",     "me",    "back",
                                       "Grüße",  "café",    "delivery", "parcel"};
  std::string text;
  while (text.size() < 160) {
    if (!text.empty()) text += ' ';
    text += kWords[random() % (sizeof kWords / sizeof kWords[0])];
  }
  return text;
}

// A "sent" line: old records are marked delivered (flags 20), the newest 300 still wait.
std::string sentLine(int id, int records, std::mt19937& random) {
  char line[512];
  std::snprintf(line, sizeof line,
                "%08x\t%d\t+4917%07d\tsms\t1\t%s\t\t1\t%d\t%d\t%d\t\t86400\t\r\n", id,
                1700000000 + id, id % 10000000, content(random).c_str(),
                id > records - 300 ? 4 : 20, id + 1000, id % 256);
  return line;
}

// An inbox line: id, timestamp, from, type, content, url, handled, flags, reserved, uniqueid.
std::string inboxLine(int id, std::mt19937& random) {
  char line[512];
  std::snprintf(line, sizeof line, "%08x\t%d\t+4917%07d\tsms\t%s\t\t0\t0\t0\t%d\t\r\n", id,
                1700000000 + id, id % 10000000, content(random).c_str(), id + 1000);
  return line;
}

struct Folder {
  std::string root;
  SettingsStore settings;
  std::unique_ptr<FileDatabase> db;

  Folder(StoreKind kind, int records, const std::string& tag) {
    root = (std::filesystem::temp_directory_path() /
            ("bench_folders_" + tag + "_" + std::to_string(::getpid())))
               .string();
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    const std::u16string name = storeName(kind);
    {
      std::mt19937 random(42);
      std::ofstream out(root + "/folder.txt", std::ios::binary);
      for (int id = 1; id <= records; ++id) {
        out << (kind == StoreKind::Sent ? sentLine(id, records, random) : inboxLine(id, random));
      }
    }
    registerColumns(settings, name, storeColumns(kind));
    settings.setString(name + u".filename", fromUtf8(root + "/folder.txt"));
    db = std::make_unique<FileDatabase>(name, settings);
    db->load(true);
  }
  ~Folder() {
    db.reset();
    std::filesystem::remove_all(root);
  }
};

// Seconds per delivery report marked in a sent folder of `records`.
double markingCost(int records, int reports) {
  Folder folder(StoreKind::Sent, records, "sent");
  SteadyClock::time_point start = SteadyClock::now();
  // The first report pays for looking through the folder once; the figure is the steady cost.
  for (int i = -1; i < reports; ++i) {
    if (i == 0) {
      std::printf("  first report in a folder of %d: %.1f ms\n", records,
                  secondsSince(start) * 1e3);
      start = SteadyClock::now();
    }
    const int id = records - 1 - i;  // the newest first, as reports come
    StatusReport report;
    report.refid = id % 256;
    char number[16];
    std::snprintf(number, sizeof number, "%07d", id % 10000000);
    report.source = u"+4917" + fromAscii(number);
    if (!markDeliveryReport(*folder.db, report, true)) std::printf("  report %d not matched\n", id);
  }
  return secondsSince(start) / reports;
}

// Seconds per "Handle" in an inbox of `records`: the record read, marked and saved.
double handleCost(int records, int marks) {
  Folder folder(StoreKind::Inbox, records, "inbox");
  const auto handled = static_cast<size_t>(columnIndex(StoreKind::Inbox, u"handled"));
  SteadyClock::time_point start = SteadyClock::now();
  for (int i = -1; i < marks; ++i) {
    if (i == 0) start = SteadyClock::now();
    char key[16];
    std::snprintf(key, sizeof key, "%08x", records - 1 - i);
    DatabaseRecord record;
    if (!folder.db->get(fromAscii(key), record)) continue;
    record[handled] = u"1";
    folder.db->put(record);
    folder.db->save();
  }
  return secondsSince(start) / marks;
}

// Seconds per message received into an inbox of `records`: the duplicate check by sender, time
// and text, then the record stored and saved.
double receiveCost(int records, int messages) {
  Folder folder(StoreKind::Inbox, records, "receive");
  std::mt19937 random(9);
  SteadyClock::time_point start = SteadyClock::now();
  for (int i = -1; i < messages; ++i) {
    if (i == 0) {
      std::printf("  first message into an inbox of %d: %.1f ms\n", records,
                  secondsSince(start) * 1e3);
      start = SteadyClock::now();
    }
    SMSMessage message(u"", u"+491700000" + fromAscii(std::to_string(i)),
                       fromUtf8(content(random)));
    message.source = u"+491700000" + fromAscii(std::to_string(i));
    message.timestamp = 1800000001 + i;
    const DatabaseRecord record = incomingRecord(message, false, std::u16string());
    std::vector<unsigned> columns;
    std::vector<std::u16string> values;
    for (std::u16string_view name : {u"timestamp", u"content"}) {
      const auto column = static_cast<unsigned>(columnIndex(StoreKind::Inbox, name));
      columns.push_back(column);
      values.push_back(record[column]);
    }
    if (!folder.db->selectMatchingAll(columns, values, 0).empty()) continue;
    folder.db->put(incomingRecord(message, false, folder.db->newIdText()));
    folder.db->save();
  }
  return secondsSince(start) / messages;
}

long peakKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      long kilobytes = 0;
      status >> kilobytes;
      return kilobytes;
    }
    std::getline(status, key);
  }
  return 0;
}

// Loads a folder of `records` in a process of its own, so that its peak memory is the load's.
void loadFigures(int records) {
  Folder made(StoreKind::Sent, 0, "load");
  {
    std::mt19937 random(42);
    std::ofstream out(made.root + "/big.txt", std::ios::binary);
    for (int id = 1; id <= records; ++id) out << sentLine(id, records, random);
  }
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    SettingsStore settings;
    registerColumns(settings, u"sent", storeColumns(StoreKind::Sent));
    settings.setString(u"sent.filename", fromUtf8(made.root + "/big.txt"));
    const long before = peakKilobytes();
    const SteadyClock::time_point start = SteadyClock::now();
    const std::clock_t cpuStart = std::clock();
    FileDatabase db(u"sent", settings);
    db.load(true);
    const double seconds = secondsSince(start);
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::printf(
        "load %zu records: %.2f s (%.2f s of CPU; target < 1 s), peak memory %.0f MB "
        "(target < 250 MB; %.0f MB before the load)\n",
        db.count(), seconds, cpu, peakKilobytes() / 1024.0, before / 1024.0);
    std::fflush(stdout);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
}

long residentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kilobytes = 0;
      status >> kilobytes;
      return kilobytes;
    }
    std::getline(status, key);
  }
  return 0;
}

// Appends `records` to an empty "sent" folder in a process of its own, saving every 1,000 as a
// campaign's results come: the memory they leave behind, against a load of the same folder.
void appendFigures(int records) {
  Folder made(StoreKind::Sent, 0, "append");
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    const long before = residentKilobytes();
    std::mt19937 random(42);
    for (int id = 1; id <= records; ++id) {
      std::string line = sentLine(id, records, random);
      line.resize(line.size() - 2);
      DatabaseRecord record;
      for (size_t start = 0;;) {
        const size_t tab = line.find('\t', start);
        record.push_back(fromUtf8(std::string_view(line).substr(start, tab - start)));
        if (tab == std::string::npos) break;
        start = tab + 1;
      }
      made.db->put(record);
      if (id % 1000 == 0) made.db->save();
    }
    made.db->save();
    std::printf(
        "append %d records: %.1f MB more resident memory, %.1f MB of lines held in memory\n",
        records, (residentKilobytes() - before) / 1024.0, made.db->heldBytes() / 1048576.0);
    std::fflush(stdout);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
}

}  // namespace
}  // namespace parlane

int main(int argc, char** argv) {
  using namespace parlane;
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  // "--ops N": fewer changes per folder, for a build where each one rewrites the folder.
  const int ops = argc > 2 && std::string(argv[1]) == "--ops" ? std::atoi(argv[2]) : 90;
  const int large = quick ? 100000 : 1000000;
  // "--load [N]": the load alone, for a profiler.
  if (argc > 1 && std::string(argv[1]) == "--load") {
    loadFigures(argc > 2 ? std::atoi(argv[2]) : large);
    return 0;
  }
  // First, while this process is still small: the load's child inherits its pages.
  loadFigures(large);
  appendFigures(100000);
  const double markSmall = markingCost(100, ops);
  const double markLarge = markingCost(large, ops);
  std::printf(
      "delivery report marked: %.3f ms with 100 records, %.3f ms with %d; ratio %.2f "
      "(target at most 1.5)\n",
      markSmall * 1e3, markLarge * 1e3, large, markLarge / markSmall);
  const double handleSmall = handleCost(100, ops);
  const double handleLarge = handleCost(large, ops);
  std::printf(
      "Handle: %.3f ms with 100 records, %.3f ms with %d; ratio %.2f (target at most "
      "1.5)\n",
      handleSmall * 1e3, handleLarge * 1e3, large, handleLarge / handleSmall);
  const double receiveEmpty = receiveCost(0, 100);
  const double receiveFull = receiveCost(100000, 100);
  std::printf(
      "receiving 100 messages: %.1f messages/s into an empty inbox, %.1f into one of "
      "100000; ratio %.2f (target at least 0.9)\n",
      1 / receiveEmpty, 1 / receiveFull, receiveEmpty / receiveFull);
  return 0;
}
