// Where each request is answered, and the connection state changes that go with it.
#include "main/request_router.h"

#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "platform/dynamic_library.h"
#include "worker/routing.h"

namespace tarnix::main {
namespace {

using protocol::Outcome;

// The control thread answers EnumerateDevices itself, and Open with the worker it starts; another
// method given to either in the table needs its own case below.
static_assert(worker::MethodsAnsweredBy(worker::AnsweredBy::kControlThread) == 1);
static_assert(worker::MethodsAnsweredBy(worker::AnsweredBy::kNewWorker) == 1);

/// Open: the worker starts and builds its connection while the client is watched; a failed or
/// abandoned start releases it (bounded) before the answer.
Outcome OpenDevice(const protocol::Open& open, BridgeState& state, const RouterDeps& deps,
                   worker::ReplyWatch* watch) {
  BridgeState::Guard guard = state.Lock();
  if (guard.worker()) return protocol::RequestFailed("Already connected");
  Result<worker::WorkerHandle> launched =
      worker::LaunchWorker(deps.session_factory(open), deps.worker_options);
  if (!launched.ok()) return protocol::RequestFailed(std::move(launched).error().text);
  if (deps.release_grace) launched->BoundRelease(*deps.release_grace, deps.stuck_release);
  if (Result<void> started = worker::AwaitStartup(*launched, watch); !started.ok()) {
    // After an exception out of the system's loader even the thread's end may never come.
    if (platform::LoaderUnusable()) {
      worker::Abandon(std::move(launched).value());
    } else {
      worker::Release(std::move(launched).value());
    }
    Error error = std::move(started).error();
    return protocol::RequestFailed(std::move(error.text), error.status);
  }
  guard.worker().emplace(std::move(launched).value());
  return protocol::Payload();
}

/// ScanDevices without an open device: a worker of its own loads the library, scans it and
/// unloads it, watched and released (bounded) as any worker is.
Outcome ScanAlone(protocol::Request request, const RouterDeps& deps, worker::ReplyWatch* watch) {
  if (!deps.scan_factory) return protocol::RequestFailed("Not connected");
  Result<worker::WorkerHandle> launched =
      worker::LaunchWorker(deps.scan_factory(), deps.worker_options);
  if (!launched.ok()) return protocol::RequestFailed(std::move(launched).error().text);
  if (deps.release_grace) launched->BoundRelease(*deps.release_grace, deps.stuck_release);
  Result<Outcome> reply = Fail(worker::kReplyAbandoned);
  if (Result<void> started = worker::AwaitStartup(*launched, watch); started.ok()) {
    reply = worker::Exchange(*launched, std::move(request), watch);
  } else {
    reply = std::move(started).error();
  }
  // As for Open: after an exception out of the system's loader the thread may never end.
  if (platform::LoaderUnusable()) {
    worker::Abandon(std::move(launched).value());
  } else {
    worker::Release(std::move(launched).value());
  }
  if (!reply.ok()) return protocol::RequestFailed(std::move(reply).error().text);
  return std::move(reply).value();
}

/// Close and Shutdown: the worker answers, then is released before the answer goes out, so the
/// client hears back only once the device is closed and the library unloaded.
Outcome Finish(protocol::Request request, BridgeState& state, worker::ReplyWatch* watch) {
  BridgeState::Guard guard = state.Lock();
  std::optional<worker::WorkerHandle> present = std::exchange(guard.worker(), std::nullopt);
  if (!present) return protocol::Payload();
  Result<Outcome> reply = worker::Exchange(*present, std::move(request), watch);
  worker::Release(std::move(*present));
  if (!reply.ok()) return protocol::RequestFailed(std::move(reply).error().text);
  return std::move(reply).value();
}

Outcome Forward(protocol::Request&& request, BridgeState& state, worker::ReplyWatch* watch) {
  BridgeState::Guard guard = state.Lock();
  std::optional<worker::WorkerHandle>& present = guard.worker();
  if (!present) return protocol::RequestFailed("Not connected");
  Result<Outcome> reply = worker::Exchange(*present, std::move(request), watch);
  if (reply.ok()) return std::move(reply).value();
  // The worker is gone, its thread ending; or the client is, and the release ends the worker's
  // wait and closes the device before the loop ends.
  worker::WorkerHandle gone = std::move(*present);
  present.reset();
  worker::Release(std::move(gone));
  return protocol::RequestFailed(std::move(reply).error().text);
}

}  // namespace

Outcome HandleRequest(protocol::Request request, BridgeState& state, const RouterDeps& deps,
                      worker::ReplyWatch* watch) {
  switch (worker::WhoAnswers(request)) {
    case worker::AnsweredBy::kControlThread:
      return protocol::Payload(deps.enumerate_devices());
    case worker::AnsweredBy::kNewWorker:
      return OpenDevice(std::get<protocol::Open>(request), state, deps, watch);
    case worker::AnsweredBy::kWorkerLoop:
      return Finish(std::move(request), state, watch);
    case worker::AnsweredBy::kSessionOrScanWorker:
      if (!state.Lock().worker()) return ScanAlone(std::move(request), deps, watch);
      break;
    case worker::AnsweredBy::kSession:
      break;
  }
  return Forward(std::move(request), state, watch);
}

RequestHandling MakeRequestHandling(RouterDeps deps) {
  auto state = std::make_shared<BridgeState>();
  auto shared_deps = std::make_shared<const RouterDeps>(std::move(deps));
  RequestHandling handling;
  handling.handle = [state, shared_deps](protocol::Request&& request, worker::ReplyWatch* watch) {
    return HandleRequest(std::move(request), *state, *shared_deps, watch);
  };
  handling.release_worker = [state] { state->ReleaseWorker(); };
  return handling;
}

}  // namespace tarnix::main
