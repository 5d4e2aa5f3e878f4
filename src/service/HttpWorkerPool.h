#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace parlane {

// The HTTP door's connections: a fixed number of workers and a short queue. A connection that
// finds both full goes to one more thread that only refuses: the door answers it 503 at once
// (refusing() is true there), so a flood of clients never grows the work or the wait behind it.
class HttpWorkerPool : public httplib::TaskQueue {
 public:
  HttpWorkerPool(std::size_t workers, std::size_t queued);
  ~HttpWorkerPool() override;
  HttpWorkerPool(const HttpWorkerPool&) = delete;
  HttpWorkerPool& operator=(const HttpWorkerPool&) = delete;

  void enqueue(std::function<void()> task) override;
  // Runs what is queued, then ends the threads.
  void shutdown() override;

  // On the thread that refuses: the request in hand is to be answered 503.
  static bool refusing();

 private:
  void work(std::deque<std::function<void()>>& tasks, bool refuser);

  const std::size_t queued_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> tasks_;
  std::deque<std::function<void()>> refused_;
  std::size_t idle_ = 0;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace parlane
