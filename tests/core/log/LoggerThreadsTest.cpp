#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "LoggerTestSupport.h"
#include "core/log/Logger.h"
#include "core/util/Utf.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

constexpr int kThreads = 6;
constexpr int kLinesPerThread = 300;

// "T<thread> <n> " followed by a long run of the thread's own letter, so that a line mixed from
// two writers can't go unnoticed.
std::string lineText(int thread, int n) {
  return "T" + std::to_string(thread) + " " + std::to_string(n) + " " +
         std::string(200, static_cast<char>('a' + thread));
}

void expectWholeLines(const std::string& content, std::vector<int>* perThread) {
  const std::regex line(std::string(test::kPrefixPattern) + R"(T(\d) (\d+) ([a-z])\3{199})");
  for (const auto& text : test::logLines(content)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    const int thread = std::stoi(m[1]);
    ASSERT_EQ(m[3].str()[0], 'a' + thread) << text;
    if (perThread) {
      // Each thread's lines appear in the order it wrote them.
      EXPECT_EQ(std::stoi(m[2]), (*perThread)[thread]) << text;
      ++(*perThread)[thread];
    }
  }
}

TEST(LoggerThreads, ConcurrentWritersNeverInterleaveWithinALine) {
  test::TempDir dir;
  Logger logger(dir.file("valtorin.log"));
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&logger, t] {
      for (int n = 0; n < kLinesPerThread; ++n) logger.write(0, std::string_view(lineText(t, n)));
    });
  }
  for (auto& w : writers) w.join();

  std::vector<int> perThread(kThreads, 0);
  expectWholeLines(dir.read("valtorin.log"), &perThread);
  EXPECT_EQ(perThread, std::vector<int>(kThreads, kLinesPerThread));
}

TEST(LoggerThreads, ClearAndRotationDuringWritesKeepLinesWhole) {
  test::TempDir dir;
  Logger logger(dir.file("valtorin.log"));
  logger.setSizeLimit(8);
  std::atomic<bool> done{false};
  std::thread clearer([&] {
    while (!done.load()) {
      logger.clear();
      std::this_thread::yield();
    }
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&logger, t] {
      for (int n = 0; n < kLinesPerThread; ++n) {
        logger.write(0, fromUtf8(lineText(t, n)));
      }
    });
  }
  for (auto& w : writers) w.join();
  done = true;
  clearer.join();

  expectWholeLines(dir.read("valtorin.log"), nullptr);
  expectWholeLines(dir.read("valtorin.log.1"), nullptr);
  EXPECT_FALSE(dir.read("valtorin.log.1").empty()) << "no rotation happened";
}

}  // namespace
}  // namespace parlane
