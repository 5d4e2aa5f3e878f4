#include "service/Gateway.h"

#include <algorithm>

#include "core/settings/SettingsStore.h"
#include "core/util/Environment.h"
#include "core/util/Utf.h"
#include "engine/SmsReceiver.h"
#include "engine/SmsSender.h"
#include "message/GenericMessage.h"
#include "service/CServiceThread.h"
#include "service/EventRunner.h"
#include "service/HttpCallbacks.h"
#include "service/HttpDoor.h"
#include "service/PoolReturn.h"
#include "service/ServiceMetrics.h"
#include "service/ServiceScheduler.h"
#include "service/SpoolWatcher.h"
#include "storage/MessageStores.h"
#include "transport/AsyncSerialComm.h"
#include "transport/AsyncSerialEmulator.h"

namespace parlane {

namespace {

// An emulator pause (ms) from a setting that tests shorten; empty keeps the emulator's own.
std::chrono::milliseconds emulatorPause(const SettingsStore& settings, const char* key,
                                        std::chrono::milliseconds standard) {
  if (settings.getString(key).empty()) return standard;
  return std::chrono::milliseconds(std::max(0, settings.getInt(key)));
}

}  // namespace

Gateway::Gateway(SettingsStore& settings, GatewayOptions options)
    : settings_(settings),
      options_(std::move(options)),
      scheduler_(std::make_unique<ServiceScheduler>(clock())) {}

Gateway::~Gateway() {
  stop();
  // Every thread has ended, or none was started.
  http_.reset();
  spool_.reset();
  service_.reset();
  events_.reset();
  callbacks_.reset();
  receiver_.reset();
  sender_.reset();
  channel_.reset();
  scheduler_.reset();
  stores_.reset();
}

const Clock& Gateway::clock() const {
  return options_.clock != nullptr ? *options_.clock : Clock::system();
}

std::string Gateway::instanceDataFile(const std::string& name) const {
  std::string path = options_.dataFolder + "/" + name;
  if (options_.instance > 0) path += "." + std::to_string(options_.instance);
  return path;
}

bool Gateway::open(StoreOpenFailure* failure) {
  stores_ = std::make_unique<MessageStores>(settings_, options_.dataFolder, options_.instance);
  if (!stores_->open(failure)) {
    stores_.reset();
    return false;
  }
  // The serial channel (or the modem emulator with "modem.emulation" 1), then the sender and the
  // receiver bound to it; the receiver takes its Unsolicited slot now.
  const bool emulator = options_.emulator.value_or(settings_.getInt("modem.emulation") != 0);
  if (emulator) {
    channel_ = std::make_unique<AsyncSerialEmulator>(
        settings_, Clock::system(),
        options_.emulatorReplyPause.value_or(emulatorPause(settings_, "modem.emulation.reply_pause",
                                                           std::chrono::milliseconds(200))),
        options_.emulatorSendPause.value_or(emulatorPause(settings_, "modem.emulation.send_pause",
                                                          std::chrono::milliseconds(2000))));
  } else {
    channel_ = std::make_unique<AsyncSerialComm>(settings_);
  }
  sender_ = std::make_unique<SmsSender>(*channel_, settings_);
  receiver_ = std::make_unique<SmsReceiver>(*channel_, *sender_, settings_);
  if (options_.instanceFiles) {
    channel_->setReplyTimeout(settings_.getInt("sender.timeout"));
    // Parts of long messages that wait for the rest survive a restart.
    receiver_->setPartsFile(instanceDataFile("parts"));
  }
  if (options_.events) {
    events_ = std::make_unique<EventRunner>(settings_, options_.instance);
    // Events a stop left waiting or running are run after this start.
    events_->setQueueFile(instanceDataFile("events"));
    // The HTTP door's calls out wait in files beside the folders until they are delivered.
    callbacks_ = std::make_unique<HttpCallbacks>(settings_, options_.instance,
                                                 instanceDataFile("callbacks"),
                                                 instanceDataFile("reporturls"), clock());
    events_->setListener([callbacks = callbacks_.get()](const MessageEvent& event) {
      callbacks->onEvent(event);
    });
  }
  return true;
}

void Gateway::attach(ServiceWindow& window) {
  service_ = std::make_unique<CServiceThread>(ServiceParts{settings_, *channel_, *sender_,
                                                           *receiver_, *stores_, window,
                                                           *scheduler_, clock(), events_.get()});
  // What became of the door's messages survives a restart.
  service_->metrics().outcomes().keepIn(instanceDataFile("outcomes"));
  if (settings_.getInt("http.enabled") == 1) {
    http_ = std::make_unique<HttpDoor>(settings_, *service_, *stores_, clock());
    if (callbacks_) http_->setReportUrls(&callbacks_->reportUrls());
  }
  // A folder several instances share: each takes files from it while its modem is connected.
  const std::string pool = expandEnvironment(toUtf8(settings_.getString("spool.pool")));
  if (!pool.empty()) service_->enablePool(pool, options_.instance);
  if (!options_.spool) return;
  // Files other programs drop into the spool folder take the send dialog's way in.
  spool_ = std::make_unique<SpoolWatcher>(
      SpoolWatcher::folderFor(options_.dataFolder, options_.instance), settings_,
      [this](std::vector<std::unique_ptr<GenericMessage>> messages) {
        return service_->submit(std::move(messages), SubmitBatch::AllOrNothing);
      });
  if (pool.empty()) return;
  spool_->setPool(SpoolWatcher::Pool{pool, [this] { return service_->poolRoom(); },
                                     [this](const std::string& takenName) {
                                       return PoolReturn::queuedUnder(*stores_, takenName);
                                     }});
  service_->setOutboxWatch([this] { spool_->wake(); });
}

void Gateway::setWindowLink(MainWindowLink* link) {
  sender_->setWindow(link);
  receiver_->setWindow(link);
}

void Gateway::detach() {
  if (http_) http_->stop();
  if (spool_) {
    spool_->stop();
    spool_->join();
  }
  if (service_) {
    service_->stop();
    service_->join();
    service_->setOutboxWatch(nullptr);
  }
  http_.reset();
  spool_.reset();
  service_.reset();
}

void Gateway::start(bool schedulerThread) {
  if (started_) return;
  channel_->startThread();
  sender_->start();
  receiver_->start();
  if (service_) service_->start();
  schedulerThread_ = schedulerThread;
  if (schedulerThread_) scheduler_->start();
  if (callbacks_) callbacks_->start();
  if (events_) events_->start();
  // Without a usable spool folder the gateway runs on (the reason is logged).
  if (spool_) spool_->start();
  // Without its address (or TLS for a remote one) the gateway runs on without the door.
  if (http_) http_->start();
  started_ = true;
}

void Gateway::stop() {
  if (!started_ || stopped_) return;
  stopped_ = true;
  // No new message is taken from the spool or the HTTP door while the others stop.
  if (http_) http_->stop();
  if (spool_) {
    spool_->stop();
    spool_->join();
  }
  // A send in flight gets its result first: cut off, it would go out again at the next start.
  if (service_ && options_.finishSending) service_->finishSending();
  if (events_) events_->stop();
  channel_->requestStop();
  receiver_->stop();
  sender_->stop();
  if (service_) service_->stop();
  scheduler_->stop();
  // Nothing is left running: each is waited for, however long its last step takes.
  scheduler_->join();
  if (service_) service_->join();
  sender_->join();
  receiver_->join();
  channel_->joinThread();
  if (events_) events_->join();
  // No event comes any more; what waits stays in its file.
  if (callbacks_) callbacks_->stop();
}

SubmitResult Gateway::submit(std::vector<std::unique_ptr<GenericMessage>> messages) {
  if (service_) return service_->submit(std::move(messages));
  SubmitResult result;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    result.refused.push_back(
        RefusedMessage{i, SubmitRefusal::NotSaved, u"The gateway has no service thread"});
  }
  return result;
}

}  // namespace parlane
