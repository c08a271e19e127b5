// The pipe's reading, writing and name check, the same on every system.
#include "platform/pipe_server.h"

#include "platform/pipe_io.h"

namespace tarnix::platform {

Result<void> PipeServer::WriteAll(std::string_view bytes) {
  return WritePipe(connection_, bytes, transfer_event_);
}

Result<PipeServer> PipeServer::Create(const std::string& name) {
  if (const size_t nul = name.find('\0'); nul != std::string::npos) {
    return Fail("nul byte found in provided data at position: " + std::to_string(nul));
  }
  return CreateNamed(name);
}

}  // namespace tarnix::platform
