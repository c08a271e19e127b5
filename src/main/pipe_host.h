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

/// Serves one client on the pipe `pipe_name`. Success after the loop ended normally; otherwise the
/// fatal error text for the entry to print.
Result<void> RunPipeServer(const std::string& pipe_name, const RequestHandling& handling);

}  // namespace tarnix::main
