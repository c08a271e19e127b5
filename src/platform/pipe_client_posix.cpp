// The client end on Linux: connect to the bridge's socket path, retrying until it listens.
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "platform/pipe_client.h"
#include "platform/process.h"
#include "platform/system_error.h"

namespace tarnix::platform {

Result<PipeClient> PipeClient::Connect(const std::string& name, uint32_t timeout_ms) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (name.size() >= sizeof address.sun_path) return Fail("socket path too long");
  std::memcpy(address.sun_path, name.data(), name.size());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    SystemHandle connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!connection.valid()) return Fail(SystemErrorText());
    if (::connect(static_cast<int>(connection.get()), reinterpret_cast<const sockaddr*>(&address),
                  sizeof address) == 0) {
      return PipeClient(std::move(connection));
    }
    const uint32_t code = LastSystemError();
    connection.Reset();
    if (std::chrono::steady_clock::now() >= deadline) return Fail(SystemErrorText(code));
    SleepMilliseconds(10);
  }
}

bool PipeClient::CloseWrite() {
  return handle_.valid() && ::shutdown(static_cast<int>(handle_.get()), SHUT_WR) == 0;
}

std::string UniquePipeName(std::string_view tag) {
  const auto dir = std::filesystem::temp_directory_path();
  return (dir / ("tarnix-" + std::to_string(CurrentProcessId()) + "-" + std::string(tag) + ".sock"))
      .string();
}

}  // namespace tarnix::platform
