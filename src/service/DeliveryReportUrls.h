#pragma once

#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "service/KeyedJournal.h"

namespace parlane {

// What a sendsms request asked to be told of one of its messages.
struct DeliveryReportUrl {
  std::string id;  // the message's id (its "custom" field)
  int mask = 0;    // 1 delivered, 2 not delivered, 4 queued at the centre, 8 accepted, 16 refused
  std::string url;
  std::string receiver;  // as the request named it
  std::string sender;    // the request's "from"
  std::time_t created = 0;
  std::string reference;  // the centre's reference, once sent
  std::string sentTo;     // the number it was sent to, once sent
};

// The report URLs of the messages that still wait for a report, kept in a file beside the
// folders so that a report after a restart still reaches its URL. An entry leaves with the last
// report its mask asks for, or after kKeepSeconds. Any thread.
class DeliveryReportUrls {
 public:
  static constexpr std::time_t kKeepSeconds = 7 * 24 * 3600;

  // Reads `file`; entries older than kKeepSeconds at `now` are left out.
  DeliveryReportUrls(std::string file, std::time_t now);

  void add(DeliveryReportUrl entry);
  void remove(const std::string& id);
  std::optional<DeliveryReportUrl> find(const std::string& id) const;
  // The newest sent entry with this reference whose number is `number`.
  std::optional<DeliveryReportUrl> findSent(const std::string& reference,
                                            const std::string& number) const;
  // The message went out: its reference and number, for the reports to come.
  void setSent(const std::string& id, const std::string& reference, const std::string& sentTo);

  std::size_t size() const;

 private:
  void store(const DeliveryReportUrl& entry);

  mutable std::mutex mutex_;
  KeyedJournal journal_;
  std::vector<DeliveryReportUrl> entries_;
};

}  // namespace parlane
