#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "message/MessageIdCounter.h"
#include "message/SMSMessage.h"

namespace parlane {
namespace {

TEST(MessageIdCounterThreadsTest, ConcurrentMessagesGetUniqueIds) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 5000;
  MessageIdCounter::set(1);
  std::vector<std::vector<std::int32_t>> ids(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&ids, t] {
      for (int i = 0; i < kPerThread; ++i) {
        ids[t].push_back(i % 2 == 0 ? SMSMessage(u"", u"", u"").uniqueid
                                    : MessageIdCounter::take());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<std::int32_t> all;
  for (const auto& list : ids) all.insert(all.end(), list.begin(), list.end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "no id handed out twice";
  EXPECT_EQ(all.front(), 1);
  EXPECT_EQ(all.back(), kThreads * kPerThread);
  EXPECT_EQ(MessageIdCounter::peek(), kThreads * kPerThread + 1);
}

}  // namespace
}  // namespace parlane
