#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/util/Utf.h"
#include "engine/EngineSink.h"
#include "engine/MainWindowLink.h"

namespace parlane::test {

// Stands in for the service queue and the main window: keeps every notification and post.
class EngineRecorder : public EngineSink, public MainWindowLink {
 public:
  struct Record {
    int code = 0;
    int flag = 0;
    std::shared_ptr<GenericMessage> message;
    std::shared_ptr<AsyncEvent> reply;
    std::string text() const { return reply ? toUtf8(reply->text) : std::string(); }
  };

  void notify(int code, int flag, std::unique_ptr<GenericMessage> payload) override {
    add(Record{code, flag, std::move(payload), nullptr});
  }
  void notifyReply(int code, int flag, std::unique_ptr<AsyncEvent> reply) override {
    add(Record{code, flag, nullptr, std::move(reply)});
  }
  void post(int code) override {
    std::lock_guard guard(mutex_);
    posts_.push_back(code);
    changed_.notify_all();
  }

  // Waits until `count` records with `code` are there; the last of them, or an empty record.
  Record waitFor(int code, std::size_t count = 1, int limitMs = 5000) {
    std::unique_lock lock(mutex_);
    Record found;
    changed_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] {
      std::size_t seen = 0;
      for (const Record& record : records_) {
        if (record.code == code && ++seen == count) {
          found = record;
          return true;
        }
      }
      return false;
    });
    return found;
  }

  std::vector<Record> records(int code) const {
    std::lock_guard guard(mutex_);
    std::vector<Record> matching;
    for (const Record& record : records_) {
      if (record.code == code) matching.push_back(record);
    }
    return matching;
  }
  // "1:+CSQ: 31,0" for each reply notification, in order.
  std::vector<std::string> replies() const {
    std::vector<std::string> lines;
    for (const Record& record : records(notice::kReply)) {
      lines.push_back(std::to_string(record.flag) + ":" + record.text());
    }
    return lines;
  }
  std::vector<int> posts() const {
    std::lock_guard guard(mutex_);
    return posts_;
  }
  bool waitForPost(int code, int limitMs = 5000) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] {
      for (int posted : posts_) {
        if (posted == code) return true;
      }
      return false;
    });
  }

 private:
  void add(Record record) {
    std::lock_guard guard(mutex_);
    records_.push_back(std::move(record));
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Record> records_;
  std::vector<int> posts_;
};

}  // namespace parlane::test
