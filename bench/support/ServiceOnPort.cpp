#include "support/ServiceOnPort.h"

#include <memory>
#include <thread>

#include "core/util/Utf.h"
#include "service/CServiceThread.h"
#include "storage/FolderSchema.h"
#include "storage/MessageStores.h"
#include "transport/AsyncSerialComm.h"

namespace parlane::bench {

void answerAsAModem(test::ScriptedModem& modem, std::chrono::milliseconds acceptDelay) {
  modem.onPrefix("AT+CMGS=", "\r\n> ");
  auto reference = std::make_shared<int>(0);
  modem.onCommand([&modem, acceptDelay, reference](const std::string& command, std::string& reply) {
    if (command.size() <= 20 || command[0] < '0' || command[0] > '9') return false;
    const std::string accepted =
        "\r\n+CMGS: " + std::to_string(++*reference % 256) + "\r\n\r\nOK\r\n";
    if (acceptDelay.count() > 0) {
      modem.sendAfter(static_cast<int>(acceptDelay.count()), accepted);
    } else {
      reply = accepted;
    }
    return true;
  });
  modem.onPrefix("AT+CPMS?", "\r\n+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\n\r\nOK\r\n");
  modem.onPrefix("", "\r\nOK\r\n");
}

ServiceOnPort::ServiceOnPort(const std::string& port, const std::string& folder,
                             const std::function<void(SettingsStore&)>& adjust)
    : gateway_(settings_, GatewayOptions{.dataFolder = folder,
                                         .emulator = false,
                                         .spool = false,
                                         .events = false,
                                         .instanceFiles = false,
                                         .finishSending = false}) {
  for (StoreKind kind : kAllStores) {
    settings_.setString(std::u16string(storeName(kind)) + u".filename", storeName(kind) + u".txt");
  }
  settings_.setString("modem.port", fromUtf8(port));
  settings_.setString("modem.init", u"ATZ");
  settings_.setInt("modem.default", 1);
  settings_.setInt("modem.checks", 0);
  settings_.setInt("modem.use_features", 0);
  settings_.setInt("sender.read_mode", 0);
  settings_.setInt("sender.timeout", 10000);
  settings_.setInt("sender.timeout.connect", 10000);
  settings_.setInt("sender.delay", 0);
  settings_.setInt("receiver.polling_time", 30);
  settings_.setInt("status.time", 10);
  settings_.setInt("modem.reconnect.time", 60);
  if (adjust) adjust(settings_);
  gateway_.open();
}

ServiceOnPort::~ServiceOnPort() {
  gateway_.channel().close();
  gateway_.stop();
  gateway_.detach();
}

void ServiceOnPort::start() {
  gateway_.attach(window_);
  gateway_.start();
  gateway_.service()->requestConnect();
  while (!window_.connected()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::size_t ServiceOnPort::sent() { return gateway_.stores().sent().count(); }

}  // namespace parlane::bench
