#include "service/HttpWorkerPool.h"

#include "core/util/ThreadName.h"

namespace parlane {

namespace {

thread_local bool refuserThread = false;

}  // namespace

HttpWorkerPool::HttpWorkerPool(std::size_t workers, std::size_t queued) : queued_(queued) {
  idle_ = workers;
  for (std::size_t i = 0; i < workers; ++i) {
    threads_.emplace_back([this] { work(tasks_, false); });
    nameThread(threads_.back(), "http-work");
  }
  threads_.emplace_back([this] { work(refused_, true); });
  nameThread(threads_.back(), "http-busy");
}

HttpWorkerPool::~HttpWorkerPool() { shutdown(); }

void HttpWorkerPool::enqueue(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    // Idle workers take theirs at once; beyond them only `queued_` may wait.
    if (tasks_.size() < idle_ + queued_) {
      tasks_.push_back(std::move(task));
    } else {
      refused_.push_back(std::move(task));
    }
  }
  changed_.notify_all();
}

void HttpWorkerPool::shutdown() {
  {
    std::lock_guard lock(mutex_);
    if (stop_) return;
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool HttpWorkerPool::refusing() { return refuserThread; }

void HttpWorkerPool::work(std::deque<std::function<void()>>& tasks, bool refuser) {
  refuserThread = refuser;
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stop_ || !tasks.empty(); });
    // Each task closes its connection: none is left behind at a stop.
    if (tasks.empty()) return;
    std::function<void()> task = std::move(tasks.front());
    tasks.pop_front();
    if (!refuser) --idle_;
    lock.unlock();
    task();
    lock.lock();
    if (!refuser) ++idle_;
  }
}

}  // namespace parlane
