#pragma once

#include <atomic>

#include "engine/ModemInitializer.h"
#include "message/GenericMessage.h"
#include "service/ConnectionManager.h"
#include "service/DuplicateLists.h"
#include "service/IncomingCalls.h"
#include "service/IncomingProcessor.h"
#include "service/OutboxDispatcher.h"
#include "service/SendResultHandler.h"
#include "service/ServiceMetrics.h"
#include "service/ServiceParts.h"
#include "service/ServiceState.h"
#include "service/WindowBalloons.h"

namespace parlane {

// The parts of the service thread's work, built once on the long-lived objects.
struct ServiceCore {
  ServiceCore(const ServiceParts& parts, std::function<void(std::u16string)> notice);

  ServiceParts parts;
  ServiceState state;
  ServiceMetrics metrics;
  WindowBalloons balloons;
  ModemInitializer initializer;
  DuplicateLists duplicates;
  OutboxDispatcher dispatcher;
  SendResultHandler sendResults;
  IncomingProcessor incoming;
  IncomingCalls calls;
  ConnectionManager connection;

  // A dispatch item waits in the service queue: no second one is posted.
  std::atomic<bool> dispatchPosted{false};
  // The control panel's waiting listing found the memory free when it was asked for: it starts
  // with the next item, and another request meanwhile is the same listing. Guarded by the
  // service thread's panel lock.
  bool panelStarting = false;
};

}  // namespace parlane
