// Pipe set-up, the message loop, and the fixed order of release at its end.
#include "main/pipe_host.h"

#include <exception>
#include <memory>

#include "log/log.h"
#include "main/pipe_watch.h"
#include "main/release_bound.h"
#include "platform/dynamic_library.h"
#include "platform/pipe_server.h"
#include "platform/stop_request.h"

namespace tarnix::main {
namespace {

/// The line that names the stop request, once one ended the wait or the loop.
Ending Stopped() {
  LogLine(std::string("[bridge] Stop requested by ") + platform::StopRequest());
  return Ending::kStopRequested;
}

/// The loop over the connected client, under the fault guard.
Result<void> Serve(platform::PipeServer& pipe, platform::PipeReader& handle,
                   const std::shared_ptr<const platform::Wakeup>& wakeup,
                   const RequestHandling& handling) {
  const ByteSink write = [&pipe](std::string_view bytes) { return pipe.WriteAll(bytes); };
  try {
    LineReader reader(PipeSource(handle, wakeup));
    PipeWatch watch(handle, reader, wakeup);
    LoopOptions options;
    options.watch = &watch;
    // A loader left unusable ends the loop after the Open it failed is answered.
    options.stop_requested = [] {
      return platform::StopRequest() != nullptr || platform::LoaderUnusable();
    };
    return RunMessageLoop(reader, write, handling.handle, options);
  } catch (const std::exception& fault) {
    return Fail(fault.what());
  } catch (...) {
    return Fail("Unknown panic");
  }
}

}  // namespace

Result<Ending> RunPipeServer(const std::string& pipe_name, const RequestHandling& handling) {
  Result<platform::Wakeup> made = platform::Wakeup::Create();
  if (!made) return std::move(made).error();
  // Shared with the worker's notifications, which may come late, and never destroyed: the stop
  // handlers point at it until the process ends.
  static const auto* const kept = new std::shared_ptr<const platform::Wakeup>(
      std::make_shared<const platform::Wakeup>(std::move(made).value()));
  const std::shared_ptr<const platform::Wakeup>& wakeup = *kept;
  if (Result<void> routed = platform::RouteStopRequests(*wakeup); !routed) return routed.error();

  Result<platform::PipeServer> created = platform::PipeServer::Create(pipe_name);
  if (!created) return std::move(created).error();
  platform::PipeServer& pipe = *created;
  LogLine("[bridge] Waiting for client connection...");
  const auto refused = [](const std::string& reason) {
    LogLine("[bridge] Client refused: " + reason);
  };
  if (Result<void> connected = pipe.WaitForClient(refused, wakeup.get()); !connected) {
    if (platform::StopRequest() != nullptr) return Stopped();
    return connected.error();
  }
  LogLine("[bridge] Client connected");
  Result<platform::PipeReader> reader_handle = pipe.OpenReader();
  if (!reader_handle) return std::move(reader_handle).error();

  // The reader and its handle are released before the worker, as at every end of the loop.
  Result<void> served = [&] {
    platform::PipeReader handle = std::move(*reader_handle);
    return Serve(pipe, handle, wakeup, handling);
  }();
  if (platform::LoaderUnusable()) EndAfterLoaderFault();
  const bool stopped = platform::StopRequest() != nullptr;
  if (stopped) Stopped();
  // A failed write or a fault outside the loop's guard is fatal, but a present worker is still
  // released first so that the vendor device is closed and its library unloaded instead of being
  // cut off by the process exit.
  if (handling.release_worker) handling.release_worker();
  if (!served) return served.error();
  LogLine("[bridge] Message loop ended");
  return stopped ? Ending::kStopRequested : Ending::kServed;
}

}  // namespace tarnix::main
