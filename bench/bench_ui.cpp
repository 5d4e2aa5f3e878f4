// The inbox page of the control panel over a folder of 100,000 records, on Qt's offscreen
// platform: the time from asking for the panel on that page to its first drawn list, the time to
// page through the whole list and to jump about in it, the time the list takes to follow one new
// message, and the memory the open panel holds. Prints its figures; the target for opening is
// under 300 ms.
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "engine/SmsReceiver.h"
#include "engine/SmsSender.h"
#include "message/SMSMessage.h"
#include "storage/FolderSchema.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"
#include "transport/AsyncSerialComm.h"
#include "ui/dialogs/control/ControlDlg.h"
#include "ui/dialogs/control/FolderControlDlg.h"
#include "ui/dialogs/control/FolderModel.h"

namespace parlane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRecords = 100000;

const char* const kWords[] = {"hello",  "meeting", "tomorrow", "at",     "the",    "office",
                              "please", "call",    "me",       "back",   "your",   "code",
                              "is",     "Grüße",   "café",     "parcel", "thanks", "ok"};

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
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

// An inbox file as incoming processing writes it.
void writeInbox(const std::string& path) {
  std::mt19937 random(42);
  std::ofstream out(path, std::ios::binary);
  char head[128];
  for (int id = 1; id <= kRecords; ++id) {
    std::string text;
    while (text.size() < 120) {
      if (!text.empty()) text += ' ';
      text += kWords[random() % (sizeof kWords / sizeof kWords[0])];
    }
    if (random() % 4 == 0) text += "%0D%0A-- sent from my phone";
    std::snprintf(head, sizeof head, "%08x\t%d\t+4917%07u\tsms\t", id, 1700000000 + id * 60,
                  static_cast<unsigned>(random() % 10000000));
    out << head << text << "\t\t" << (random() % 2) << "\t0\t0\t" << id << "\t\r\n";
  }
}

// Draws what the view shows now, once, as the paint event after a scroll would.
void draw(QTableView& view) { view.viewport()->repaint(); }

void run() {
  const std::string root =
      (std::filesystem::temp_directory_path() / ("bench-ui-" + std::to_string(::getpid())))
          .string();
  std::filesystem::create_directories(root);
  SettingsStore settings;
  for (StoreKind kind : kAllStores) {
    settings.setString(std::u16string(storeName(kind)) + u".filename", storeName(kind) + u".txt");
  }
  writeInbox(root + "/inbox.txt");
  MessageStores stores(settings, root, 0);
  const auto loadStart = Clock::now();
  if (!stores.open()) {
    std::fprintf(stderr, "bench_ui: can't open the folders in %s\n", root.c_str());
    return;
  }
  std::printf("bench_ui: inbox of %zu records loaded in %.1f ms\n", stores.inbox().count(),
              msSince(loadStart));
  AsyncSerialComm channel(settings);
  const double residentBefore = residentMegabytes();

  // Open: the panel made and shown on the inbox page, its list drawn once.
  std::vector<double> opens;
  std::unique_ptr<ControlDlg> panel;
  for (int round = 0; round < 5; ++round) {
    panel.reset();
    QCoreApplication::processEvents();
    const auto start = Clock::now();
    panel = std::make_unique<ControlDlg>(ControlParts{settings, stores, channel, nullptr, {}});
    panel->present(ControlDlg::Inbox);
    QCoreApplication::processEvents();
    draw(panel->folderPage(ControlDlg::Inbox).view());
    opens.push_back(msSince(start));
  }
  const double first = opens.front();
  std::sort(opens.begin(), opens.end());
  std::printf(
      "bench_ui: open the inbox page (%d records): first %.1f ms, median %.1f ms, "
      "best %.1f ms (target under 300 ms)\n",
      kRecords, first, opens[2], opens[0]);
  std::printf("bench_ui: resident memory held by the open panel: %.1f MB\n",
              residentMegabytes() - residentBefore);

  // Scroll: page by page from the top to the bottom, each page drawn.
  FolderControlDlg& page = panel->folderPage(ControlDlg::Inbox);
  QTableView& view = page.view();
  view.resize(900, 600);
  QScrollBar* bar = view.verticalScrollBar();
  const int pageRows = std::max(1, bar->pageStep());
  int pages = 0;
  double slowest = 0;
  auto start = Clock::now();
  for (int at = 0; at <= bar->maximum(); at += pageRows) {
    const auto one = Clock::now();
    bar->setValue(at);
    draw(view);
    slowest = std::max(slowest, msSince(one));
    ++pages;
  }
  const double total = msSince(start);
  std::printf(
      "bench_ui: scroll through %d pages of %d rows: %.0f ms, %.2f ms per page, slowest "
      "page %.2f ms\n",
      pages, pageRows, total, total / pages, slowest);

  // The model's share of that: every cell of every row read as the view reads it.
  FolderModel& model = page.model();
  start = Clock::now();
  std::size_t characters = 0;
  for (int row = 0; row < model.rowCount(); ++row) {
    for (int column = 0; column < model.columnCount(); ++column) {
      characters += static_cast<std::size_t>(model.index(row, column).data().toString().size());
    }
  }
  const double reading = msSince(start);
  std::printf(
      "bench_ui: the model reads every cell of the %d rows: %.0f ms, %.2f ms per page of "
      "%d rows (%zu characters)\n",
      model.rowCount(), reading, reading * pageRows / model.rowCount(), pageRows, characters);

  // Jumps: the scroll bar dragged to random places.
  std::mt19937 random(7);
  start = Clock::now();
  for (int i = 0; i < 200; ++i) {
    bar->setValue(static_cast<int>(random() % static_cast<unsigned>(bar->maximum() + 1)));
    draw(view);
  }
  std::printf("bench_ui: 200 jumps to random places: %.2f ms per jump\n", msSince(start) / 200);

  // A new message arrives while the list is open: the list takes it in.
  SMSMessage message(u"", u"+4917012345", u"one more");
  message.source = u"+4917012345";
  stores.inbox().put(incomingRecord(message, false, stores.inbox().newIdText()));
  start = Clock::now();
  page.refresh();
  draw(view);
  std::printf("bench_ui: the open list follows one new message: %.1f ms (%d rows)\n",
              msSince(start), page.model().rowCount());

  panel.reset();
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

}  // namespace
}  // namespace parlane

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  parlane::run();
  return 0;
}
