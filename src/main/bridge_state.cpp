// The bridge state's lock with its poisoned flag, and the end-of-loop release of the worker.
#include "main/bridge_state.h"

#include <exception>
#include <utility>

namespace tarnix::main {

PoisonedStateError::PoisonedStateError()
    : std::runtime_error("Bridge state lock poisoned by an earlier failure") {}

BridgeState::Guard::Guard(BridgeState& state)
    : state_(state), lock_(state.mutex_), exceptions_at_entry_(std::uncaught_exceptions()) {
  if (state_.poisoned_) throw PoisonedStateError();
}

BridgeState::Guard::~Guard() {
  // A new exception in flight means the holder's work was cut short.
  if (std::uncaught_exceptions() > exceptions_at_entry_) state_.poisoned_ = true;
}

BridgeState::Guard BridgeState::Lock() {
  return Guard(*this);
}

void BridgeState::ReleaseWorker() {
  std::lock_guard lock(mutex_);
  if (!worker_) return;
  worker::WorkerHandle present = std::move(*worker_);
  worker_.reset();
  worker::Release(std::move(present));
}

bool BridgeState::poisoned() {
  std::lock_guard lock(mutex_);
  return poisoned_;
}

}  // namespace tarnix::main
