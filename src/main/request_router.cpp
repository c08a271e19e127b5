// Where each request is answered, and the connection state changes that go with it.
#include "main/request_router.h"

#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "worker/routing.h"

namespace tarnix::main {
namespace {

using protocol::Outcome;

// The control thread answers EnumerateDevices and Open itself; another method given to it in the
// table needs its own case below.
static_assert(worker::MethodsAnsweredBy(worker::AnsweredBy::kControlThread) == 1);
static_assert(worker::MethodsAnsweredBy(worker::AnsweredBy::kWorkerStart) == 1);

Outcome OpenDevice(const protocol::Open& open, BridgeState& state, const RouterDeps& deps) {
  BridgeState::Guard guard = state.Lock();
  if (guard.worker()) return protocol::RequestFailed("Already connected");
  Result<worker::WorkerHandle> started =
      worker::StartWorker(deps.session_factory(open), deps.worker_options);
  if (!started.ok()) return protocol::RequestFailed(std::move(started).error().text);
  guard.worker().emplace(std::move(started).value());
  return protocol::Payload();
}

/// Close and Shutdown: the worker answers, then is released before the answer goes out, so the
/// client hears back only once the device is closed and the library unloaded.
Outcome Finish(protocol::Request request, BridgeState& state) {
  BridgeState::Guard guard = state.Lock();
  std::optional<worker::WorkerHandle> present = std::exchange(guard.worker(), std::nullopt);
  if (!present) return protocol::Payload();
  Result<Outcome> reply = worker::Exchange(*present, std::move(request));
  worker::Release(std::move(*present));
  if (!reply.ok()) return protocol::RequestFailed(std::move(reply).error().text);
  return std::move(reply).value();
}

Outcome Forward(protocol::Request&& request, BridgeState& state, const ClientGone& client_gone) {
  BridgeState::Guard guard = state.Lock();
  std::optional<worker::WorkerHandle>& present = guard.worker();
  if (!present) return protocol::RequestFailed("Not connected");
  Result<Outcome> reply = worker::Exchange(*present, std::move(request), client_gone);
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
                      const ClientGone& client_gone) {
  switch (worker::WhoAnswers(request)) {
    case worker::AnsweredBy::kControlThread:
      return protocol::Payload(deps.enumerate_devices());
    case worker::AnsweredBy::kWorkerStart:
      return OpenDevice(std::get<protocol::Open>(request), state, deps);
    case worker::AnsweredBy::kWorkerEnd:
      return Finish(std::move(request), state);
    case worker::AnsweredBy::kSession:
      break;
  }
  return Forward(std::move(request), state, client_gone);
}

RequestHandling MakeRequestHandling(RouterDeps deps) {
  auto state = std::make_shared<BridgeState>();
  auto shared_deps = std::make_shared<const RouterDeps>(std::move(deps));
  RequestHandling handling;
  handling.handle = [state, shared_deps](protocol::Request&& request,
                                         const ClientGone& client_gone) {
    return HandleRequest(std::move(request), *state, *shared_deps, client_gone);
  };
  handling.release_worker = [state] { state->ReleaseWorker(); };
  return handling;
}

}  // namespace tarnix::main
