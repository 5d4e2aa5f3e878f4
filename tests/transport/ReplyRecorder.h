#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "transport/ReplySink.h"

namespace parlane::test {

// A reply sink that keeps every event with its slot, for parser tests.
class ReplyRecorder : public ReplySink {
 public:
  struct Entry {
    ReplySlot slot;
    std::unique_ptr<AsyncEvent> event;
  };

  bool accepts(ReplySlot slot) const override { return !closed.contains(slot); }
  void deliver(ReplySlot slot, std::unique_ptr<AsyncEvent> event) override {
    entries.push_back({slot, std::move(event)});
  }

  std::set<ReplySlot> closed;  // slots without a queue
  std::vector<Entry> entries;
};

}  // namespace parlane::test
