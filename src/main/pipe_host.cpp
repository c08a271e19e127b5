// Pipe set-up, the message loop, and the fixed order of release at its end.
#include "main/pipe_host.h"

#include <exception>

#include "log/log.h"
#include "platform/pipe_server.h"

namespace tarnix::main {

Result<void> RunPipeServer(const std::string& pipe_name, const RequestHandling& handling) {
  Result<platform::PipeServer> created = platform::PipeServer::Create(pipe_name);
  if (!created) return std::move(created).error();
  platform::PipeServer& pipe = *created;
  LogLine("[bridge] Waiting for client connection...");
  const auto refused = [](const std::string& reason) {
    LogLine("[bridge] Client refused: " + reason);
  };
  if (Result<void> connected = pipe.WaitForClient(refused); !connected) return connected;
  LogLine("[bridge] Client connected");
  Result<platform::PipeReader> reader_handle = pipe.OpenReader();
  if (!reader_handle) return std::move(reader_handle).error();

  const ByteSink write = [&pipe](std::string_view bytes) { return pipe.WriteAll(bytes); };
  Result<void> served = Ok();
  try {
    // The reader and its handle are released before the worker, as at every end of the loop.
    platform::PipeReader handle = std::move(*reader_handle);
    LineReader reader([&handle](char* buffer, size_t size) { return handle.Read(buffer, size); });
    LoopOptions options;
    options.client_gone = [&handle] { return handle.PeerGone(); };
    served = RunMessageLoop(reader, write, handling.handle, options);
  } catch (const std::exception& fault) {
    served = Fail(fault.what());
  } catch (...) {
    served = Fail("Unknown panic");
  }
  // A failed write or a fault outside the loop's guard is fatal, but a present worker is still
  // released first so that the vendor device is closed and its library unloaded instead of being
  // cut off by the process exit.
  if (handling.release_worker) handling.release_worker();
  if (!served) return served;
  LogLine("[bridge] Message loop ended");
  return Ok();
}

}  // namespace tarnix::main
