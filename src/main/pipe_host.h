// The pipe server around the message loop: create, wait for the one client, serve, release.
#pragma once

#include <functional>
#include <string>

#include "common/result.h"
#include "main/message_loop.h"

namespace tarnix::main {

/// What the loop needs from the request handling: the handler, and the release of a worker that is
/// still present when the loop ends (it closes the device and unloads its library).
struct RequestHandling {
  RequestHandler handle;
  std::function<void()> release_worker;
};

/// How serving the pipe ended, when it did not fail.
enum class Ending {
  kServed,         ///< the client left, or asked for Shutdown
  kStopRequested,  ///< a signal or console event asked the bridge to stop
};

/// Serves one client on the pipe `pipe_name`. Signals and console events that ask the program to
/// stop end the wait for the client, or the loop, as a vanished client does: one line names the
/// request, the worker is released, and the ending is kStopRequested. Otherwise the error is the
/// fatal text for the entry to print.
Result<Ending> RunPipeServer(const std::string& pipe_name, const RequestHandling& handling);

}  // namespace tarnix::main
