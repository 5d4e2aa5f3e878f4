#pragma once

#include <memory>
#include <mutex>
#include <vector>

namespace parlane {

class GenericMessage;

// The messages seen in the current polling cycle and in the previous one, for dropping a message
// that a later listing finds again. The service thread checks, the scheduler rotates: one lock.
class DuplicateLists {
 public:
  // True when an equal message was seen in this cycle; otherwise remembers a copy and tells
  // whether the previous cycle saw one.
  bool checkAndAdd(const GenericMessage& message);
  // End of a cycle: the current list becomes the previous one, the current one starts empty.
  void rotate();

  std::size_t currentSize() const;
  std::size_t previousSize() const;

 private:
  static bool holds(const std::vector<std::unique_ptr<GenericMessage>>& list,
                    const GenericMessage& message);

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<GenericMessage>> current_;
  std::vector<std::unique_ptr<GenericMessage>> previous_;
};

}  // namespace parlane
