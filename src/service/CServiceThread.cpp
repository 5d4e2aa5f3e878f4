#include "service/CServiceThread.h"

#include "engine/ModemInitializer.h"

namespace parlane {

class ServiceCore {
 public:
  explicit ServiceCore(const ServiceParts& parts)
      : parts(parts), initializer(parts.sender, parts.settings) {}
  ServiceParts parts;
  ServiceState state;
  ModemInitializer initializer;
};

CServiceThread::CServiceThread(const ServiceParts& parts)
    : engine_(std::make_unique<ServiceCore>(parts)) {}

CServiceThread::~CServiceThread() {
  stop();
  join();
}

void CServiceThread::notify(int code, int flag, std::unique_ptr<GenericMessage> payload) {
  push(ServiceItem{code, flag, std::move(payload)});
}

void CServiceThread::notifyReply(int code, int flag, std::unique_ptr<AsyncEvent> reply) {
  push(ServiceItem{code, flag, std::move(reply)});
}

void CServiceThread::push(ServiceItem item) {
  std::lock_guard guard(queueMutex_);
  queue_.push_back(std::move(item));
  queueCondition_.notify_one();
}

void CServiceThread::requestConnect() { push(ServiceItem{serviceCode::kConnect, 0, {}}); }
void CServiceThread::disconnect() {}
std::u16string CServiceThread::queueOutgoing(const GenericMessage&) { return {}; }
void CServiceThread::dispatchNext() {}
std::size_t CServiceThread::queuedOutgoing() const { return 0; }
ServiceState& CServiceThread::state() { return engine_->state; }
const ServiceState& CServiceThread::state() const { return engine_->state; }
ModemInitializer& CServiceThread::initializer() { return engine_->initializer; }

void CServiceThread::start() {
  std::lock_guard guard(queueMutex_);
  if (thread_.joinable()) return;
  stop_ = false;
  thread_ = std::thread([this] { run(); });
}

void CServiceThread::stop() {
  std::lock_guard guard(queueMutex_);
  stop_ = true;
  queueCondition_.notify_all();
}

void CServiceThread::join() {
  if (thread_.joinable()) thread_.join();
}

bool CServiceThread::runScheduled(int) { return false; }

void CServiceThread::run() {
  for (;;) {
    ServiceItem item;
    {
      std::unique_lock lock(queueMutex_);
      queueCondition_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      item = std::move(queue_.front());
      queue_.pop_front();
    }
    handle(item);
  }
}

void CServiceThread::handle(ServiceItem&) {}

}  // namespace parlane
