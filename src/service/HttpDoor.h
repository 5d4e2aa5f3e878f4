#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/util/Clock.h"
#include "service/HttpAccess.h"

namespace httplib {
class Server;
}

namespace parlane {

class CServiceThread;
class DeliveryReportUrls;
class MessageStores;
class SettingsStore;

// The HTTP door ("http.enabled" 1): the sendsms interface of monitoring scripts under
// /cgi-bin/sendsms and a JSON API under /api/v1, on "http.listen". Its messages go into the outbox
// through CServiceThread::submit like the spool's. The listening thread is named "http"; requests
// are served by a small fixed pool.
class HttpDoor {
 public:
  // Connections served at once (a kept-alive one holds its worker), and those that may wait for
  // a worker; more are answered 503. Enough workers that many clients' sends share each flush of
  // the outbox to disk.
  static constexpr std::size_t kWorkers = 16;
  static constexpr std::size_t kQueued = 64;

  HttpDoor(const SettingsStore& settings, CServiceThread& service, MessageStores& stores,
           const Clock& clock);
  ~HttpDoor();
  HttpDoor(const HttpDoor&) = delete;
  HttpDoor& operator=(const HttpDoor&) = delete;

  // Binds "http.listen" and starts the thread; false (the log says why) when the address can't be
  // used or a remote address has neither TLS nor "http.allow_plain_remote" 1.
  bool start();
  // Stops taking requests and waits for the thread.
  void stop();
  // Where sendsms requests keep their dlr-url (before start); without it dlr-url is ignored.
  void setReportUrls(DeliveryReportUrls* urls) { reportUrls_ = urls; }
  // The port bound (the one the system chose for port 0); 0 before start.
  int port() const { return port_.load(); }
  bool tls() const { return tls_; }
  // "host:port" once listening; empty before.
  std::string address() const;

  struct Route {
    std::string method;   // GET, POST
    std::string pattern;  // the path, a group "(...)" for each part taken from it
  };
  // Every route the door serves (once started).
  const std::vector<Route>& served() const { return served_; }

 private:
  void route();
  template <typename Handler>
  void get(const std::string& pattern, Handler handler);
  template <typename Handler>
  void post(const std::string& pattern, Handler handler);
  // Logs a note on what a request asked for and the door ignores, the first time only: a
  // monitoring script sends the same fields with every request.
  void noteOnce(const std::string& note);

  const SettingsStore& settings_;
  CServiceThread& service_;
  MessageStores& stores_;
  const Clock& clock_;
  FailedLogins failedLogins_;
  DeliveryReportUrls* reportUrls_ = nullptr;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<int> port_{0};
  bool tls_ = false;
  std::string address_;  // set before port_
  std::vector<Route> served_;
  std::mutex notedMutex_;
  std::set<std::string> noted_;
};

// Whether `host` (of "host:port") is a loopback address.
bool isLoopbackHost(const std::string& host);

}  // namespace parlane
