#pragma once

#include "engine/ModemInitializer.h"
#include "message/GenericMessage.h"
#include "service/ConnectionManager.h"
#include "service/DuplicateLists.h"
#include "service/IncomingProcessor.h"
#include "service/OutboxDispatcher.h"
#include "service/SendResultHandler.h"
#include "service/ServiceParts.h"
#include "service/ServiceState.h"
#include "service/WindowBalloons.h"

namespace parlane {

// The parts of the service thread's work, built once on the long-lived objects.
struct ServiceCore {
  ServiceCore(const ServiceParts& parts, std::function<void(std::u16string)> notice);

  ServiceParts parts;
  ServiceState state;
  WindowBalloons balloons;
  ModemInitializer initializer;
  DuplicateLists duplicates;
  OutboxDispatcher dispatcher;
  SendResultHandler sendResults;
  IncomingProcessor incoming;
  ConnectionManager connection;
};

}  // namespace parlane
