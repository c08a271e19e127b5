// Control-thread request handling: enumeration here, Open/Close/Shutdown manage the worker, the
// rest is forwarded to it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "main/bridge_state.h"
#include "main/pipe_host.h"
#include "protocol/request.h"
#include "protocol/response.h"
#include "wire/types.h"
#include "worker/worker.h"

namespace tarnix::main {

/// What the routing needs from the rest of the bridge (tests supply fakes).
struct RouterDeps {
  /// Lists the registered interfaces; runs on the control thread without the state lock.
  std::function<std::vector<wire::DeviceInfo>()> enumerate_devices;
  /// The session factory a worker runs for this Open request (it owns copies of the parameters).
  std::function<worker::SessionFactory(const protocol::Open&)> session_factory;
  /// The session factory of a worker that serves one ScanDevices while no device is open (empty:
  /// such a scan answers "Not connected").
  std::function<worker::SessionFactory()> scan_factory;
  /// How worker threads are created.
  worker::WorkerOptions worker_options;
  /// How long a release may wait for the worker thread to end (nullopt: without a limit), and
  /// what happens when it has not ended by then (it reports and ends the process).
  std::optional<std::chrono::milliseconds> release_grace;
  worker::StuckRelease stuck_release;
};

/// Answers one request. Blocks for as long as enumeration, the worker's start-up or its reply take;
/// the wait for the worker watches `watch` (when given): once it abandons the answer, the worker
/// is released (the answer, an error, goes nowhere). Every release of a worker is bounded as
/// `deps` says. Errors made here have code -1. Throws PoisonedStateError (and lets through
/// whatever else escapes while the lock is held, poisoning the state) for the loop's fault guard.
protocol::Outcome HandleRequest(protocol::Request request, BridgeState& state,
                                const RouterDeps& deps, worker::ReplyWatch* watch = nullptr);

/// The handler and end-of-loop release for the message loop, sharing one new, empty state.
RequestHandling MakeRequestHandling(RouterDeps deps);

}  // namespace tarnix::main
