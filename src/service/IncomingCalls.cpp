#include "service/IncomingCalls.h"

#include <memory>
#include <optional>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/ScheduleTime.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"
#include "engine/SmsSender.h"
#include "message/ATCommandMessage.h"
#include "service/EventRunner.h"
#include "service/MessageEvent.h"
#include "service/ServiceWindow.h"
#include "transport/AsyncEvent.h"
#include "transport/ReplyText.h"

namespace parlane {

IncomingCalls::IncomingCalls(const SettingsStore& settings, SmsSender& sender,
                             ServiceWindow& window, EventRunner* events, const Clock& clock)
    : settings_(settings), sender_(sender), window_(window), events_(events), clock_(clock) {}

void IncomingCalls::onLine(const AsyncEvent& line) {
  const std::int64_t now = clock_.monotonicMs();
  const std::optional<std::u16string> call = startsWithNoCase(line.text, "+CLIP:")
                                                 ? tracker_.caller(callerNumber(line.text), now)
                                                 : tracker_.ring(now);
  if (call) announce(*call);
}

void IncomingCalls::announce(const std::u16string& number) {
  const std::u16string title =
      formatText(u"Call from %s", {number.empty() ? std::u16string(u"an unknown number") : number});
  Logger::log(0, title);
  const bool hangUp = settings_.getInt("calls.hangup") == 1;
  window_.balloon(title, hangUp ? u"The call is hung up" : u"The phone is ringing");
  if (events_ != nullptr) {
    MessageEvent event;
    event.kind = MessageEvent::Kind::Call;
    event.number = toUtf8(number);
    event.time = formatScheduleTime(clock_.wallSeconds());
    event.type = "call";
    events_->post(std::move(event));
  }
  if (hangUp) {
    auto command = std::make_unique<ATCommandMessage>(u"AT+CHUP");
    command->fallback = u"ATH";
    sender_.enqueue(std::move(command));
  }
}

}  // namespace parlane
