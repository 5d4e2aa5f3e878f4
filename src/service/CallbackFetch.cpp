#include "service/CallbackFetch.h"

#include <httplib.h>

namespace parlane {

namespace {

// The origin's length in `url` ("http://host:port"), or 0 when it is no http or https URL.
std::size_t originLength(const std::string& url) {
  std::size_t start = 0;
  if (url.starts_with("http://")) {
    start = 7;
  } else if (url.starts_with("https://")) {
    start = 8;
  } else {
    return 0;
  }
  const std::size_t end = url.find_first_of("/?#", start);
  const std::size_t length = end == std::string::npos ? url.size() : end;
  return length > start ? length : 0;
}

}  // namespace

std::string urlOrigin(const std::string& url) { return url.substr(0, originLength(url)); }

CallbackAnswer CallbackFetch::fetch(const CallbackCall& call) {
  const std::size_t origin = originLength(call.url);
  if (origin == 0) return {0, "not an http or https URL"};
  std::string target = call.url.substr(origin);
  if (target.empty() || target.front() != '/') target.insert(0, "/");
  // A fragment is the client's own.
  if (const std::size_t hash = target.find('#'); hash != std::string::npos) target.resize(hash);

  httplib::Client client(call.url.substr(0, origin));
  if (!client.is_valid()) return {0, "the URL can't be used"};
  client.set_connection_timeout(kConnectTimeoutSeconds, 0);
  client.set_read_timeout(kAnswerTimeoutSeconds, 0);
  client.set_write_timeout(kAnswerTimeoutSeconds, 0);
  client.set_keep_alive(false);
  httplib::Headers headers;
  for (const auto& [name, value] : call.headers) headers.emplace(name, value);
  {
    std::lock_guard lock(mutex_);
    if (aborted_) return {0, "stopped"};
    current_ = &client;
  }
  httplib::Result result = call.method == "POST"
                               ? client.Post(target, headers, call.body, "application/json")
                               : client.Get(target, headers);
  {
    std::lock_guard lock(mutex_);
    current_ = nullptr;
  }
  if (!result) return {0, httplib::to_string(result.error())};
  return {result->status, std::string()};
}

void CallbackFetch::abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  if (current_ != nullptr) current_->stop();
}

}  // namespace parlane
