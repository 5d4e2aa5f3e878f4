#include "service/ServiceCore.h"

#include "core/util/Utf.h"
#include "service/ServiceScheduler.h"
#include "storage/MessageStores.h"

namespace parlane {

ServiceCore::ServiceCore(const ServiceParts& p, std::function<void(std::u16string)> notice)
    : parts(p),
      balloons(p.window),
      initializer(p.sender, p.settings, &balloons),
      dispatcher(p.stores.outbox(), p.channel, p.sender, state, p.clock),
      sendResults(p.settings, p.stores, state, dispatcher, p.scheduler, p.window, p.events,
                  &metrics, &p.clock),
      incoming(p.settings, p.stores, state, duplicates, dispatcher, p.sender, p.window, p.events,
               &metrics),
      calls(p.settings, p.sender, p.window, p.events, p.clock),
      connection(ConnectionManager::Parts{
          p.settings, p.channel, p.sender, initializer, state, p.scheduler, p.window, dispatcher,
          duplicates, p.clock, std::move(notice), &p.receiver,
          [this](const std::u16string& text) { metrics.ussd().replied(toUtf8(text)); }}) {
  dispatcher.setOnHandOut([this](const GenericMessage& message) {
    if (message.kind() == MessageKind::Ussd) metrics.ussd().handedOut(toUtf8(message.custom));
  });
  dispatcher.setTimer([&scheduler = p.scheduler](std::optional<std::int64_t> delayMs) {
    if (delayMs) {
      scheduler.add(ServiceScheduler::kOutboxTimes, *delayMs, true);
    } else {
      scheduler.remove(ServiceScheduler::kOutboxTimes);
    }
  });
  dispatcher.setExpiredHandler(
      [this](std::unique_ptr<GenericMessage> message, const std::u16string& recordId) {
        sendResults.fileExpired(*message, recordId);
      });
}

}  // namespace parlane
