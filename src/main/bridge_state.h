// The control thread's connection state: the worker of the open device, if any, under one lock.
#pragma once

#include <mutex>
#include <optional>
#include <stdexcept>

#include "worker/worker.h"

namespace tarnix::main {

/// The fault raised by taking the state's lock after an earlier failure escaped while it was held.
/// The message loop's fault guard turns it into a code -999 answer.
class PoisonedStateError : public std::runtime_error {
 public:
  PoisonedStateError();
};

/// Connected means exactly that a worker handle is held. Only the control thread uses it.
///
/// The lock mimics a poisoning mutex: if an exception leaves a Guard's scope, the state is marked
/// poisoned, and every later Lock() throws PoisonedStateError, because the worker slot may have
/// been left half-updated.
class BridgeState {
 public:
  /// Exclusive access to the worker slot for one request.
  class Guard {
   public:
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    ~Guard();

    std::optional<worker::WorkerHandle>& worker() { return state_.worker_; }

   private:
    friend class BridgeState;
    explicit Guard(BridgeState& state);

    BridgeState& state_;
    std::unique_lock<std::mutex> lock_;
    int exceptions_at_entry_;
  };

  BridgeState() = default;
  BridgeState(const BridgeState&) = delete;
  BridgeState& operator=(const BridgeState&) = delete;

  /// Takes the lock. Throws PoisonedStateError when an earlier holder failed.
  Guard Lock();

  /// Releases a worker that is still present (closes its command channel, waits for its thread).
  /// Called when the message loop ends, however it ends. A poisoned state is released too: moving
  /// a handle cannot fail, so the slot holds a whole one or none, and the device must be closed
  /// before the process exits. Never throws PoisonedStateError.
  void ReleaseWorker();

  bool poisoned();

 private:
  std::mutex mutex_;
  bool poisoned_ = false;  // guarded by mutex_
  std::optional<worker::WorkerHandle> worker_;
};

}  // namespace tarnix::main
