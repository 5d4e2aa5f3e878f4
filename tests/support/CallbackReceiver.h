#pragma once

// A receiver of HTTP callbacks on loopback for tests: it keeps every request it got and answers
// 200, or what it is told to answer; it can be stopped and started again on the same port.

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace parlane::test {

struct ReceivedCall {
  std::string method;
  std::string target;  // path and query as sent
  std::string body;
  std::multimap<std::string, std::string> headers;

  std::string header(const std::string& name) const {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
  }
  // The value of a query field, as sent (not decoded).
  std::string rawField(const std::string& name) const {
    const std::size_t question = target.find('?');
    std::string query = question == std::string::npos ? "" : target.substr(question + 1);
    std::size_t start = 0;
    while (start <= query.size()) {
      const std::size_t end = std::min(query.find('&', start), query.size());
      const std::string pair = query.substr(start, end - start);
      if (pair.starts_with(name + "=")) return pair.substr(name.size() + 1);
      start = end + 1;
    }
    return std::string();
  }
};

// The "X-Parlane-Signature" a receiver expects for `body`, computed as a receiver would.
inline std::string expectedSignature(const std::string& body, const std::string& secret) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha256(), secret.data(), static_cast<int>(secret.size()),
       reinterpret_cast<const unsigned char*>(body.data()), body.size(), digest, &length);
  std::string out = "sha256=";
  char hex[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", digest[i]);
    out += hex;
  }
  return out;
}

class CallbackReceiver {
 public:
  // Listens on a port of the system's choice (or on `port`).
  explicit CallbackReceiver(int port = 0) { start(port); }
  ~CallbackReceiver() { stop(); }
  CallbackReceiver(const CallbackReceiver&) = delete;
  CallbackReceiver& operator=(const CallbackReceiver&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + target;
  }

  // Listens again on the same port (or first on `port`).
  bool start(int port = 0) {
    if (server_) return true;
    server_ = std::make_unique<httplib::Server>();
    const auto keep = [this](const httplib::Request& request, httplib::Response& response) {
      ReceivedCall call{request.method, request.target, request.body, {}};
      for (const auto& [name, value] : request.headers) call.headers.emplace(name, value);
      std::lock_guard lock(mutex_);
      calls_.push_back(std::move(call));
      response.status = status_;
      changed_.notify_all();
    };
    server_->Get(".*", keep);
    server_->Post(".*", keep);
    if (port_ == 0 && port == 0) {
      port_ = server_->bind_to_any_port("127.0.0.1");
    } else {
      if (port != 0) port_ = port;
      if (!server_->bind_to_port("127.0.0.1", port_)) port_ = -1;
    }
    if (port_ <= 0) {
      server_.reset();
      return false;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
  }

  // Stops listening: callers get "connection refused".
  void stop() {
    if (!server_) return;
    server_->stop();
    thread_.join();
    server_.reset();
  }

  void answerWith(int status) {
    std::lock_guard lock(mutex_);
    status_ = status;
  }

  std::vector<ReceivedCall> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  // Waits (real time, at most `limit`) until `count` requests came; false when they did not.
  bool waitFor(std::size_t count,
               std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return calls_.size() >= count; });
  }

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<ReceivedCall> calls_;
  int status_ = 200;
};

}  // namespace parlane::test
