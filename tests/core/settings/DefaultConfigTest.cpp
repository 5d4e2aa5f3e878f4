#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"

namespace parlane {
namespace {

const std::string kDefaultConfig = std::string(PARLANE_SOURCE_DIR) + "/data/valtorin.cfg";

// Every key the program reads; "%d" marks a numbered family.
const std::vector<std::string> kKnownKeys = {
    "autostart", "start.bubble", "start.welcome", "start.connect", "disable_bubbles", "status.file",
    "status.time", "logger.common", "logger.level", "logger.maxsize", "logger.viewer", "message.id",
    "modem.port", "modem.default", "modem.baudrate", "modem.bytesize", "modem.parity",
    "modem.fparity", "modem.stopbits", "modem.timeout.rit", "modem.timeout.rttm",
    "modem.timeout.rttc", "modem.timeout.wttm", "modem.timeout.wtc", "modem.checks",
    "modem.use_features", "modem.emulation", "modem.emulation.reply_pause",
    "modem.emulation.send_pause", "modem.init", "modem.custom_init.%d", "modem.pin",
    "modem.use_pin", "modem.reset.time", "modem.reconnect.time", "modem.reset.cmd.%d",
    "modem.reset.reconnect", "modem.reset.sleep", "port.prefix", "port.use_prefix", "port.%d.name",
    "port.cur", "serial.byte_by_byte", "sender.send_mode", "sender.read_mode", "sender.delete_mode",
    "sender.delete_after", "sender.delete_all_cmd", "sender.use_memory", "sender.timeout",
    "sender.timeout.connect", "sender.send_timeout", "sender.retries", "sender.delay",
    "sms_fail_notify", "receiver.polling_time", "receiver.polling_memory", "receiver.memory",
    "discard_duplicated", "status_reports", "convert_to_ascii", "ussd.decode", "smsc.address",
    "smsc.%d", "smsc_addr_in_pdu", "cds_no_smsc_addr", "sms.length_correction", "auto_ton.short",
    "auto_ton.long", "auto_ton.length", "ton_src_prefix", "ton_dst_prefix", "ton_warning",
    "prefix.country", "prefix.local", "groups.%d.name", "operator.%d.name", "operator.%d.prefix",
    "address.%d", "export.encoding",
    // National language tables.
    "sms.national_languages",
    // Scripts and servers.
    "event.run", "event.timeout", "receiver.parts_timeout",
    // Per store: inbox, outbox, sent, failed, addrbook.
    "inbox.filename", "inbox.maxrecords", "inbox.index", "inbox.columns.%d", "outbox.filename",
    "outbox.maxrecords", "outbox.index", "outbox.columns.%d", "sent.filename", "sent.maxrecords",
    "sent.index", "sent.columns.%d", "failed.filename", "failed.maxrecords", "failed.index",
    "failed.columns.%d", "addrbook.filename", "addrbook.maxrecords", "addrbook.index",
    "addrbook.columns.%d", "http.enabled", "http.listen", "http.users.%d.name",
    "http.users.%d.password", "http.token", "http.tls.cert", "http.tls.key",
    "http.allow_plain_remote", "http.max_recipients", "http.client_timeout", "http.incoming_url",
    "http.webhook.url.%d", "http.webhook.secret", "spool.pool", "spool.pool_batch",
    "spool.pool_return", "numbers.allow", "numbers.deny", "incoming.deny", "incoming.deny_action",
    "calls.handle", "calls.hangup"};

// True when `key` is `pattern` with each "%d" standing for one or more digits.
bool matchesKey(std::string_view key, std::string_view pattern) {
  size_t k = 0;
  for (size_t p = 0; p < pattern.size(); ++p) {
    if (pattern.substr(p, 2) == "%d") {
      const size_t digitsStart = k;
      while (k < key.size() && key[k] >= '0' && key[k] <= '9') ++k;
      if (k == digitsStart) return false;
      ++p;
    } else if (k >= key.size() || key[k++] != pattern[p]) {
      return false;
    }
  }
  return k == key.size();
}

class DefaultConfig : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store_.loadFromFile(kDefaultConfig)); }
  SettingsStore store_;
};

TEST_F(DefaultConfig, CarriesEveryKnownKey) {
  for (const auto& key : kKnownKeys) {
    EXPECT_TRUE(store_.contains(SettingsStore::keyFromPattern(key, 0))) << key;
  }
}

TEST_F(DefaultConfig, HoldsNoMisspelledKey) {
  for (const auto& [key, value] : store_.snapshot()) {
    bool known = false;
    for (const auto& pattern : kKnownKeys) known = known || matchesKey(key, pattern);
    EXPECT_TRUE(known) << key;
  }
}

// A key misspelt in code would silently read as empty: every key named in a settings call in the
// program's sources must be one the default configuration carries.
TEST_F(DefaultConfig, CarriesEveryKeyTheSourcesName) {
  const std::regex call(R"re(\b(?:get|set)(?:String|Int)(?:ByPattern)?\(\s*u?"([^"]+)")re"
                        R"re(|\bcontains\(\s*u?"([^"]+)")re");
  std::set<std::string> keys;
  for (const char* folder : {"src", "tools"}) {
    const std::filesystem::path root = std::filesystem::path(PARLANE_SOURCE_DIR) / folder;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
      const std::string extension = entry.path().extension().string();
      if (!entry.is_regular_file() || (extension != ".cpp" && extension != ".h")) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string code((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
      for (std::sregex_iterator m(code.begin(), code.end(), call), end; m != end; ++m) {
        const std::string key = (*m)[1].matched ? (*m)[1].str() : (*m)[2].str();
        keys.insert(key);
        EXPECT_TRUE(store_.contains(SettingsStore::keyFromPattern(key, 0)))
            << "\"" << key << "\" in " << entry.path().string();
      }
    }
  }
  EXPECT_FALSE(keys.empty()) << "the scan found no settings call at all";
}

TEST_F(DefaultConfig, StartsWithoutHardwareOrSurprises) {
  EXPECT_EQ(store_.getInt("modem.emulation"), 0);
  EXPECT_EQ(store_.getString("modem.port"), u"");
  EXPECT_EQ(store_.getInt("logger.level"), 0);
  EXPECT_EQ(store_.getString("logger.common"), u"%appdata%/Quortane SMS/valtorin.log");
  EXPECT_EQ(store_.getInt("sender.retries"), 3);
  EXPECT_EQ(store_.getInt("message.id"), 0);
  // Integers are plain decimal.
  for (const char* key : {"modem.baudrate", "sender.timeout", "modem.checks"}) {
    EXPECT_EQ(std::to_string(store_.getInt(key)), toUtf8(store_.getString(key))) << key;
  }
}

TEST_F(DefaultConfig, UsesLineFeedsAndSavesBackToTheSameLines) {
  SettingsStore copy;
  ASSERT_TRUE(copy.loadFromFile(kDefaultConfig));
  // Unchanged settings save back to the same lines.
  std::string saved = copy.toFileText();
  std::string lf;
  for (size_t i = 0; i < saved.size(); ++i) {
    if (saved.compare(i, 2, "\r\n") == 0) continue;
    lf += saved[i];
  }
  std::ifstream in(kDefaultConfig, std::ios::binary);
  std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(original.find('\r'), std::string::npos);
  EXPECT_EQ(lf, original);
}

}  // namespace
}  // namespace parlane
