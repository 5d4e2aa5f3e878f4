#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace httplib {
class Client;
}

namespace parlane {

// One HTTP request of a callback.
struct CallbackCall {
  std::string method;  // "GET" or "POST"
  std::string url;
  std::string body;  // POST: a JSON event
  std::vector<std::pair<std::string, std::string>> headers;
};

// What came of it: the HTTP status, or 0 and why no answer came.
struct CallbackAnswer {
  int status = 0;
  std::string error;

  bool delivered() const { return status >= 200 && status < 300; }
};

// "scheme://host:port" of an http or https URL; empty for anything else.
std::string urlOrigin(const std::string& url);

// Makes callback requests one at a time (the delivery thread), with time-outs; abort() from any
// other thread ends the one under way at once.
class CallbackFetch {
 public:
  static constexpr int kConnectTimeoutSeconds = 5;
  static constexpr int kAnswerTimeoutSeconds = 10;

  CallbackAnswer fetch(const CallbackCall& call);
  // The request under way, and every later one, ends without an answer.
  void abort();

 private:
  std::mutex mutex_;
  httplib::Client* current_ = nullptr;
  bool aborted_ = false;
};

}  // namespace parlane
