#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "transport/ReplyQueue.h"

namespace parlane {
namespace {

using std::chrono::seconds;

std::unique_ptr<AsyncEvent> eventWithCode(int code) {
  return std::make_unique<AsyncEvent>(AsyncEvent::kInformation, code, u"", "");
}

TEST(ReplyQueueTest, PopsInOrderOfPush) {
  ReplyQueue queue;
  for (int i = 0; i < 3; ++i) queue.push(eventWithCode(i));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(queue.pop()->code, i);
  EXPECT_EQ(queue.tryPop(), nullptr);
}

TEST(ReplyQueueTest, ClearWakesABlockedPopWithNull) {
  ReplyQueue queue;
  auto popped = std::async(std::launch::async, [&] { return queue.pop(); });
  // The clear must find the pop already waiting, or it would (rightly) leave it waiting.
  while (queue.waitingCount() == 0) std::this_thread::yield();
  queue.clear();
  ASSERT_EQ(popped.wait_for(seconds(5)), std::future_status::ready);
  EXPECT_EQ(popped.get(), nullptr);
  queue.push(eventWithCode(4));
  EXPECT_EQ(queue.pop()->code, 4);
}

TEST(ReplyQueueTest, ClearWithNobodyWaitingDropsEventsAndCancelsNothingLater) {
  ReplyQueue queue;
  queue.push(eventWithCode(1));
  queue.push(eventWithCode(2));
  queue.clear();
  EXPECT_EQ(queue.size(), 0u);
  // A later wait is not cut short by the earlier clear: it gets the next event.
  auto popped = std::async(std::launch::async, [&] { return queue.popWithin(seconds(5)); });
  queue.push(eventWithCode(3));
  auto event = popped.get();
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->code, 3);
}

TEST(ReplyQueueTest, ManyProducersOneConsumerLoseNothing) {
  constexpr int kProducers = 4;
  constexpr int kEach = 2000;
  ReplyQueue queue;
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&queue, p] {
      for (int i = 0; i < kEach; ++i) queue.push(eventWithCode(p * kEach + i));
    });
  }
  std::vector<int> last(kProducers, -1);
  for (int n = 0; n < kProducers * kEach; ++n) {
    auto event = queue.popWithin(seconds(5));
    ASSERT_NE(event, nullptr);
    const int producer = event->code / kEach;
    EXPECT_GT(event->code, last[producer]) << "each producer's events stay in order";
    last[producer] = event->code;
  }
  for (auto& thread : producers) thread.join();
  EXPECT_EQ(queue.size(), 0u);
}

}  // namespace
}  // namespace parlane
