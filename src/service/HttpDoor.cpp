#include "service/HttpDoor.h"

#include <httplib.h>
#include <sys/socket.h>

#include <charconv>
#include <nlohmann/json.hpp>
#include <random>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/ScheduleTime.h"
#include "core/util/ThreadName.h"
#include "core/util/Utf.h"
#include "core/util/Utf8Text.h"
#include "engine/ModemInitializer.h"
#include "message/GenericMessage.h"
#include "message/USSDRequest.h"
#include "service/CServiceThread.h"
#include "service/DeliveryReportUrls.h"
#include "service/HttpInboxPage.h"
#include "service/HttpJsonSend.h"
#include "service/HttpMessageState.h"
#include "service/HttpMetricsText.h"
#include "service/HttpUssdRequest.h"
#include "service/HttpWorkerPool.h"
#include "service/MessageEvent.h"
#include "service/OpenApiDocument.h"
#include "service/SendSmsRequest.h"
#include "service/ServiceMetrics.h"
#include "service/ServiceWindow.h"
#include "storage/FileDatabase.h"
#include "storage/FolderSchema.h"
#include "storage/MessageStores.h"

namespace parlane {

namespace {

void log(int level, const std::string& text) { Logger::log(level, "HTTP: " + text); }

constexpr std::size_t kMaxBodyBytes = 1024 * 1024;
// A client must send its whole request (and read the answer) within this; "http.client_timeout"
// sets another number of seconds.
constexpr time_t kClientTimeoutSeconds = 5;
// Requests one kept-alive connection may make, and connections that may wait to be accepted.
constexpr std::size_t kKeepAliveRequests = 100;
constexpr int kListenBacklog = 128;
// How long POST /api/v1/ussd waits for the network's reply before it answers 202.
constexpr std::int64_t kUssdWaitMs = 5000;

// A fresh message id: the outbox gives each folder its own numbers, so the id that follows a
// message from folder to folder is kept in its "custom" field.
std::string newMessageId() {
  static std::mutex mutex;
  static std::mt19937_64 random{std::random_device{}()};
  std::lock_guard<std::mutex> lock(mutex);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id = "h";
  std::uint64_t value = random();
  for (int i = 0; i < 16; ++i, value >>= 4) id += kHex[value & 15];
  return id;
}

std::string connectionName(ConnectionState state) {
  switch (state) {
    case ConnectionState::Connecting:
      return "connecting";
    case ConnectionState::Connected:
      return "connected";
    case ConnectionState::Error:
      return "error";
    case ConnectionState::Disconnected:
      break;
  }
  return "disconnected";
}

void reply(httplib::Response& response, int status, const std::string& text) {
  response.status = status;
  response.set_content(text + "\n", "text/plain; charset=utf-8");
}

void replyJson(httplib::Response& response, int status, const nlohmann::json& body) {
  response.status = status;
  response.set_content(body.dump() + "\n", "application/json");
}

void replyJsonError(httplib::Response& response, int status, const std::string& text) {
  replyJson(response, status, nlohmann::json{{"error", text}});
}

// What is known of a USSD request: its reply (200), its failure (502), or that it waits (202).
void replyUssd(httplib::Response& response, const std::string& id,
               const std::optional<UssdAnswers::Answer>& answer, const std::string& waiting) {
  if (!answer) {
    response.set_header("Location", "/api/v1/ussd/" + id);
    replyJson(response, 202, nlohmann::json{{"id", id}, {"state", waiting}});
  } else if (answer->failed) {
    replyJson(response, 502,
              nlohmann::json{{"id", id}, {"state", "failed"}, {"error", answer->text}});
  } else {
    replyJson(response, 200,
              nlohmann::json{{"id", id}, {"state", "replied"}, {"reply", answer->text}});
  }
}

// Why the outbox did not take a batch, in one line; 503 when it could not be saved.
std::pair<int, std::string> refusalOf(const SubmitResult& result,
                                      const std::vector<std::string>& numbers) {
  if (result.refusedFor(SubmitRefusal::NotSaved)) return {503, "Outbox can't be saved"};
  if (result.refusedFor(SubmitRefusal::NotAllowed)) {
    std::string numbers;
    for (const RefusedMessage& refused : result.refused) {
      if (refused.why != SubmitRefusal::NotAllowed) continue;
      if (!numbers.empty()) numbers += "; ";
      numbers += toUtf8(refused.reason);
    }
    return {403, "Receiver " + numbers};
  }
  std::string reasons;
  for (const RefusedMessage& refused : result.refused) {
    if (refused.why != SubmitRefusal::BadRecipient) continue;
    if (!reasons.empty()) reasons += "; ";
    const std::string number = refused.index < numbers.size() ? numbers[refused.index] : "";
    reasons += "\"" + number + "\": " + toUtf8(refused.reason);
  }
  return {400, "Invalid receiver number " + reasons};
}

// Splits "host:port" ("[::1]:port" for IPv6); the port defaults to 13013.
std::pair<std::string, int> listenAddress(const std::string& listen) {
  std::string host = listen;
  int port = 13013;
  const std::size_t colon = listen.rfind(':');
  if (colon != std::string::npos && listen.find(']', colon) == std::string::npos) {
    host = listen.substr(0, colon);
    const std::string digits = listen.substr(colon + 1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        port < 0 || port > 65535) {
      port = -1;
    }
  }
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  return {host, port};
}

}  // namespace

bool isLoopbackHost(const std::string& host) {
  return host == "localhost" || host == "::1" || host.starts_with("127.");
}

HttpDoor::HttpDoor(const SettingsStore& settings, CServiceThread& service, MessageStores& stores,
                   const Clock& clock)
    : settings_(settings),
      service_(service),
      stores_(stores),
      clock_(clock),
      failedLogins_(clock) {}

HttpDoor::~HttpDoor() { stop(); }

std::string HttpDoor::address() const { return port_.load() > 0 ? address_ : std::string(); }

bool HttpDoor::start() {
  if (thread_.joinable()) return true;
  std::string listen = toUtf8(settings_.getString("http.listen"));
  if (listen.empty()) listen = "127.0.0.1:13013";
  const auto [host, port] = listenAddress(listen);
  if (host.empty() || port < 0) {
    log(3, "not started: \"" + listen + "\" is no host:port");
    return false;
  }
  const std::string cert = toUtf8(settings_.getString("http.tls.cert"));
  const std::string key = toUtf8(settings_.getString("http.tls.key"));
  tls_ = !cert.empty() && !key.empty();
  const bool loopback = isLoopbackHost(host);
  if (!loopback && !tls_ && settings_.getInt("http.allow_plain_remote") != 1) {
    log(3, "not started: " + host +
               " is not a loopback address; set http.tls.cert and http.tls.key, or "
               "http.allow_plain_remote=1");
    return false;
  }
  if (tls_) {
    auto secure = std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str());
    if (!secure->is_valid()) {
      log(3, "not started: the certificate " + cert + " or the key " + key + " can't be used");
      return false;
    }
    server_ = std::move(secure);
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  server_->new_task_queue = [] {
    return new HttpWorkerPool(HttpDoor::kWorkers, HttpDoor::kQueued);
  };
  server_->set_payload_max_length(kMaxBodyBytes);
  const int timeout = settings_.getInt("http.client_timeout");
  const time_t seconds = timeout > 0 ? timeout : kClientTimeoutSeconds;
  server_->set_read_timeout(seconds);
  server_->set_write_timeout(seconds);
  server_->set_keep_alive_timeout(seconds);
  // An answer goes out as its head and then its body: held back for the client's delayed
  // acknowledgement, each would wait 40 ms.
  server_->set_tcp_nodelay(true);
  // A client that sends many messages keeps its connection for more than a handful of them.
  server_->set_keep_alive_max_count(kKeepAliveRequests);
  // The library listens with a backlog of 5: clients that connect together beyond that wait a
  // second for their connection to be retried. The socket is kept to widen it once bound.
  int listening = -1;
  server_->set_socket_options([&listening](socket_t socket) {
    httplib::default_socket_options(socket);
    listening = socket;
  });
  // The accept loop sleeps until a client comes or stop() closes the socket.
  server_->set_idle_interval(3600);
  route();
  const int bound =
      port == 0 ? server_->bind_to_any_port(host) : (server_->bind_to_port(host, port) ? port : -1);
  if (bound <= 0) {
    log(3, "not started: can't listen on " + listen);
    server_.reset();
    return false;
  }
  // Listening again on a listening socket only sets its backlog.
  if (listening >= 0) ::listen(listening, kListenBacklog);
  address_ =
      (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(bound);
  port_ = bound;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  nameThread(thread_, "http");
  // stop() closes the socket only once the loop runs.
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::string where = host + ":" + std::to_string(bound);
  if (tls_) {
    log(0, "listening on " + where + " with TLS");
  } else if (loopback) {
    log(0, "listening on " + where + " (loopback, without TLS)");
  } else {
    log(1, "listening on " + where + " without TLS (http.allow_plain_remote=1)");
  }
  return true;
}

void HttpDoor::stop() {
  if (!thread_.joinable()) return;
  server_->stop();
  thread_.join();
}

template <typename Handler>
void HttpDoor::get(const std::string& pattern, Handler handler) {
  server_->Get(pattern, std::move(handler));
  served_.push_back({"GET", pattern});
}

template <typename Handler>
void HttpDoor::post(const std::string& pattern, Handler handler) {
  server_->Post(pattern, std::move(handler));
  served_.push_back({"POST", pattern});
}

void HttpDoor::noteOnce(const std::string& note) {
  {
    std::lock_guard guard(notedMutex_);
    if (!noted_.insert(note).second) return;
  }
  log(1, note + " (not logged again)");
}

void HttpDoor::route() {
  served_.clear();
  const auto sendSms = [this](const httplib::Request& request, const std::string& form,
                              httplib::Response& response) {
    const std::string client = request.remote_addr;
    if (failedLogins_.blocked(client)) {
      reply(response, 429, "Too many failed authentications, try again later");
      return;
    }
    // The query is read here, not by the library: a "+" in it is a space.
    const std::size_t question = request.target.find('?');
    HttpParams params = parseQueryString(
        question == std::string::npos ? std::string_view()
                                      : std::string_view(request.target).substr(question + 1));
    for (auto& field : parseQueryString(form)) params.push_back(std::move(field));
    const std::string user = paramOf(params, {"username", "user"}).value_or("");
    const std::string password = paramOf(params, {"password", "pass"}).value_or("");
    if (!sendSmsUserAllowed(settings_, user, password)) {
      failedLogins_.failed(client);
      log(2, "sendsms from " + client + ": authorization failed");
      reply(response, 403, "Authorization failed for sendsms");
      return;
    }
    const int limit = settings_.getInt("http.max_recipients");
    SendSmsMapping mapping =
        mapSendSms(params, static_cast<std::size_t>(limit > 0 ? limit : 100), clock_);
    for (const std::string& note : mapping.notes) noteOnce("sendsms: " + note);
    if (mapping.status != 0) {
      log(2, "sendsms from " + client + " refused: " + mapping.reason);
      reply(response, mapping.status, mapping.reason);
      return;
    }
    std::vector<std::string> numbers;
    std::vector<std::string> ids;
    for (auto& message : mapping.messages) {
      numbers.push_back(toUtf8(message->to));
      ids.push_back(newMessageId());
      message->custom = fromUtf8(ids.back());
    }
    // Kept before the outbox takes the messages: a result may come before submit returns.
    const bool reports = reportUrls_ != nullptr && mapping.reportMask != 0;
    for (std::size_t i = 0; reports && i < ids.size(); ++i) {
      DeliveryReportUrl entry;
      entry.id = ids[i];
      entry.mask = mapping.reportMask;
      entry.url = mapping.reportUrl;
      entry.receiver = numbers[i];
      entry.sender = mapping.sender;
      entry.created = clock_.wallSeconds();
      reportUrls_->add(std::move(entry));
    }
    const bool connected = service_.state().connectionState() == ConnectionState::Connected;
    const SubmitResult result =
        service_.submit(std::move(mapping.messages), SubmitBatch::AllOrNothing);
    if (!result.allTaken()) {
      for (std::size_t i = 0; reports && i < ids.size(); ++i) reportUrls_->remove(ids[i]);
      const auto [status, reason] = refusalOf(result, numbers);
      log(2, "sendsms from " + client + " refused: " + reason);
      reply(response, status, reason);
      return;
    }
    log(0, "sendsms from " + client + ": " + std::to_string(result.taken()) + " message(s) queued");
    reply(response, 202, connected ? "0: Accepted for delivery" : "3: Queued for later delivery");
  };
  get("/cgi-bin/sendsms", [sendSms](const httplib::Request& request, httplib::Response& response) {
    sendSms(request, std::string(), response);
  });
  // The form is read here: the library refuses a form over 8 KB, which a long text in UTF-8
  // escapes soon is.
  post("/cgi-bin/sendsms", [sendSms](const httplib::Request& request, httplib::Response& response,
                                     const httplib::ContentReader& reader) {
    std::string form;
    bool tooLong = false;
    const bool read = reader([&](const char* data, std::size_t length) {
      tooLong = form.size() + length > kMaxBodyBytes;
      if (!tooLong) form.append(data, length);
      return !tooLong;
    });
    if (!read || tooLong) {
      reply(response, 413, "Request too large");
      return;
    }
    if (!isValidUtf8(form)) {
      reply(response, 400, "Request is not valid UTF-8");
      return;
    }
    if (!request.get_header_value("Content-Type")
             .starts_with("application/x-www-form-urlencoded")) {
      form.clear();
    }
    sendSms(request, form, response);
  });

  // The JSON API: every request carries the bearer token.
  server_->set_pre_routing_handler(
      [this](const httplib::Request& request, httplib::Response& response) {
        const bool api = request.path.starts_with("/api/");
        if (HttpWorkerPool::refusing()) {
          response.set_header("Retry-After", "1");
          if (api) {
            replyJsonError(response, 503, "too many requests at once, try again later");
          } else {
            reply(response, 503, "Too many requests at once, try again later");
          }
          return httplib::Server::HandlerResponse::Handled;
        }
        // sendsms decodes its text by its charset; everything else is UTF-8.
        bool utf8 = isValidUtf8(request.target);
        for (const auto& [name, value] : request.params) {
          utf8 = utf8 && (!api || (isValidUtf8(name) && isValidUtf8(value)));
        }
        if (!utf8) {
          if (api) {
            replyJsonError(response, 400, "the request is not valid UTF-8");
          } else {
            reply(response, 400, "Request is not valid UTF-8");
          }
          return httplib::Server::HandlerResponse::Handled;
        }
        if (!api) return httplib::Server::HandlerResponse::Unhandled;
        const std::string client = request.remote_addr;
        if (failedLogins_.blocked(client)) {
          replyJsonError(response, 429, "too many failed authentications, try again later");
          return httplib::Server::HandlerResponse::Handled;
        }
        if (!bearerAllowed(settings_, request.get_header_value("Authorization"))) {
          failedLogins_.failed(client);
          log(2, request.path + " from " + client + ": authorization failed");
          response.set_header("WWW-Authenticate", "Bearer");
          replyJsonError(response, 401, "authorization failed");
          return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
      });

  post("/api/v1/messages", [this](const httplib::Request& request, httplib::Response& response) {
    const int limit = settings_.getInt("http.max_recipients");
    JsonSendMapping mapping =
        mapJsonSend(request.body, static_cast<std::size_t>(limit > 0 ? limit : 100), clock_);
    if (!mapping.error.empty()) {
      replyJsonError(response, 400, mapping.error);
      return;
    }
    std::vector<std::string> numbers;
    nlohmann::json ids = nlohmann::json::array();
    for (auto& message : mapping.messages) {
      numbers.push_back(toUtf8(message->to));
      const std::string id = newMessageId();
      message->custom = fromUtf8(id);
      ids.push_back(id);
    }
    const SubmitResult result =
        service_.submit(std::move(mapping.messages), SubmitBatch::AllOrNothing);
    if (!result.allTaken()) {
      const auto [status, reason] = refusalOf(result, numbers);
      replyJsonError(response, status, reason);
      return;
    }
    log(0, "API: " + std::to_string(result.taken()) + " message(s) queued");
    replyJson(response, 202, nlohmann::json{{"ids", ids}});
  });

  get(R"(/api/v1/messages/([A-Za-z0-9_-]{1,64}))", [this](const httplib::Request& request,
                                                          httplib::Response& response) {
    const std::optional<MessageState> state = findMessageState(
        stores_, request.matches[1].str(), &service_.metrics().outcomes(), clock_.wallSeconds());
    if (!state) {
      replyJsonError(response, 404, "no message with this id");
      return;
    }
    nlohmann::json body{{"id", request.matches[1].str()},
                        {"folder", state->folder},
                        {"state", state->state},
                        {"to", state->to}};
    if (!state->reference.empty()) body["reference"] = state->reference;
    if (!state->reason.empty()) body["reason"] = state->reason;
    if (state->time != 0) body["time"] = formatScheduleTime(state->time);
    if (!state->sendAfter.empty()) body["sendAfter"] = state->sendAfter;
    replyJson(response, 200, body);
  });

  // A USSD request goes through the outbox like the dialog's. A reply that comes within a short
  // wait is given at once (200); else 202 with the id, whose answer GET /api/v1/ussd/{id} gives.
  post("/api/v1/ussd", [this](const httplib::Request& request, httplib::Response& response) {
    const UssdRequestMapping mapping = mapUssdRequest(request.body);
    if (!mapping.error.empty()) {
      replyJsonError(response, 400, mapping.error);
      return;
    }
    const std::string id = newMessageId();
    auto ussd = std::make_unique<USSDRequest>(u"", u"", fromUtf8(mapping.code), -1, clock_);
    ussd->custom = fromUtf8(id);
    std::vector<std::unique_ptr<GenericMessage>> messages;
    messages.push_back(std::move(ussd));
    const bool connected = service_.state().connectionState() == ConnectionState::Connected;
    const SubmitResult result = service_.submit(std::move(messages), SubmitBatch::AllOrNothing);
    if (!result.allTaken()) {
      replyJsonError(response, 503, "Outbox can't be saved");
      return;
    }
    log(0, "API: USSD request " + id + " queued");
    std::optional<UssdAnswers::Answer> answer;
    if (connected) {
      answer = service_.metrics().ussd().waitFor(id, clock_, clock_.monotonicMs() + kUssdWaitMs);
    }
    replyUssd(response, id, answer, connected ? "sent" : "queued");
  });

  get(R"(/api/v1/ussd/([A-Za-z0-9_-]{1,64}))",
      [this](const httplib::Request& request, httplib::Response& response) {
        const std::string id = request.matches[1].str();
        const std::optional<UssdAnswers::Answer> answer = service_.metrics().ussd().find(id);
        if (answer) {
          replyUssd(response, id, answer, "");
          return;
        }
        const std::optional<MessageState> state = findMessageState(stores_, id);
        if (!state) {
          replyJsonError(response, 404, "no USSD request with this id");
          return;
        }
        replyUssd(response, id, std::nullopt, state->folder == "outbox" ? "queued" : "sent");
      });

  get("/api/v1/inbox", [this](const httplib::Request& request, httplib::Response& response) {
    const auto param = [&](const char* name) -> std::optional<std::string> {
      if (!request.has_param(name)) return std::nullopt;
      return request.get_param_value(name);
    };
    const InboxPaging paging = readInboxPaging(param("since"), param("limit"));
    if (!paging.error.empty()) {
      replyJsonError(response, 400, paging.error);
      return;
    }
    replyJson(response, 200, inboxPage(stores_.inbox(), paging));
  });

  get("/api/v1/metrics", [this](const httplib::Request&, httplib::Response& response) {
    GatewayGauges gauges;
    gauges.outbox = stores_.outbox().count();
    const ConnectionState connection = service_.state().connectionState();
    gauges.connection = connectionName(connection);
    if (connection == ConnectionState::Connected) {
      gauges.signalPercent = service_.initializer().signalPercent();
    }
    response.status = 200;
    response.set_content(metricsText(service_.metrics(), gauges),
                         "text/plain; version=0.0.4; charset=utf-8");
  });

  get("/api/v1/openapi.yaml", [](const httplib::Request&, httplib::Response& response) {
    response.status = 200;
    response.set_content(std::string(openApiDocument()), "application/yaml");
  });

  get("/api/v1/status", [this](const httplib::Request&, httplib::Response& response) {
    const ConnectionState connection = service_.state().connectionState();
    nlohmann::json folders = nlohmann::json::object();
    for (StoreKind kind :
         {StoreKind::Inbox, StoreKind::Outbox, StoreKind::Sent, StoreKind::Failed}) {
      if (stores_.isOpen(kind)) folders[toUtf8(storeName(kind))] = stores_.store(kind).count();
    }
    nlohmann::json body{{"connection", connectionName(connection)},
                        {"port", toUtf8(settings_.getString("modem.port"))},
                        {"folders", folders},
                        {"queued", service_.queuedOutgoing()},
                        {"errors", service_.state().errorCount()},
                        {"version", PARLANE_VERSION}};
    // The initializer's findings stay as they are while connected.
    if (connection == ConnectionState::Connected) {
      body["modem"] = toUtf8(service_.initializer().model());
      body["signal"] = service_.initializer().signalPercent();
    }
    replyJson(response, 200, body);
  });
}

}  // namespace parlane
