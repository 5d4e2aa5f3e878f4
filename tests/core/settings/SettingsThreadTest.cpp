#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/SettingsStore.h"

namespace parlane {
namespace {

// The window thread and worker threads read and write the store at the same time.
TEST(SettingsThreads, ConcurrentReadsWritesAndSavesAreSafe) {
  SettingsStore store;
  store.loadFromText("# header\nsender.send_mode=0\n");
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&store, t] {
      for (int i = 0; i < 2000; ++i) {
        store.setInt("sender.send_mode", i % 2);
        store.setStringByPattern("worker.%d", t, std::u16string(1, char16_t(u'a' + i % 26)));
      }
    });
  }
  threads.emplace_back([&] {
    while (!stop) {
      const int mode = store.getInt("sender.send_mode");
      EXPECT_TRUE(mode == 0 || mode == 1);
      (void)store.toFileText();
      (void)store.snapshot();
    }
  });
  for (int t = 0; t < 3; ++t) threads[t].join();
  stop = true;
  threads.back().join();
  EXPECT_EQ(store.snapshot().size(), 4u);
}

}  // namespace
}  // namespace parlane
