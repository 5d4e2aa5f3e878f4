#include "service/UssdAnswers.h"

#include "core/util/Clock.h"

namespace parlane {

void UssdAnswers::handedOut(const std::string& id) {
  std::lock_guard lock(mutex_);
  current_ = id;
}

void UssdAnswers::replied(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    if (current_.empty()) return;
    keep(current_, Answer{false, text});
    current_.clear();
  }
  changed_.notify_all();
}

void UssdAnswers::failed(const std::string& id, const std::string& reason) {
  if (id.empty()) return;
  {
    std::lock_guard lock(mutex_);
    if (current_ == id) current_.clear();
    keep(id, Answer{true, reason});
  }
  changed_.notify_all();
}

void UssdAnswers::keep(const std::string& id, Answer answer) {
  if (answers_.insert_or_assign(id, std::move(answer)).second) {
    order_.push_back(id);
    if (order_.size() > kMaxKept) {
      answers_.erase(order_.front());
      order_.pop_front();
    }
  }
}

std::optional<UssdAnswers::Answer> UssdAnswers::find(const std::string& id) const {
  std::lock_guard lock(mutex_);
  const auto found = answers_.find(id);
  if (found == answers_.end()) return std::nullopt;
  return found->second;
}

std::optional<UssdAnswers::Answer> UssdAnswers::waitFor(const std::string& id, const Clock& clock,
                                                        std::int64_t deadlineMs) {
  std::unique_lock lock(mutex_);
  if (!clock.waitUntil(changed_, lock, deadlineMs, [&] { return answers_.contains(id); })) {
    return std::nullopt;
  }
  return answers_.at(id);
}

}  // namespace parlane
