// The client end on Linux: connect to the bridge's socket path, retrying until it listens.
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "platform/pipe_client.h"
#include "platform/process.h"
#include "platform/system_error.h"

namespace tarnix::platform {
namespace {

constexpr char kSocketName[] = "tarnix.sock";

}  // namespace

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
      return Adopt(std::move(connection));
    }
    const uint32_t code = LastSystemError();
    connection.Reset();
    if (std::chrono::steady_clock::now() >= deadline) return Fail(SystemErrorText(code));
    SleepMilliseconds(10);
  }
}

Result<uint32_t> PipeClient::ServerProcessId() const {
  // The credentials of the process that called listen(), as they were then.
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(static_cast<int>(handle_.get()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
    return CallFailed("getsockopt");
  }
  return static_cast<uint32_t>(peer.pid);
}

bool PipeClient::CloseWrite() {
  return handle_.valid() && ::shutdown(static_cast<int>(handle_.get()), SHUT_WR) == 0;
}

Result<PrivatePipeName> PrivatePipeName::Make(std::string_view tag) {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) return Fail("no temporary folder: " + error.message());
  std::string folder = (base / ("tarnix-" + std::string(tag) + "-XXXXXX")).string();
  // mkdtemp makes the folder with mode 0700 under a name nobody had.
  if (::mkdtemp(folder.data()) == nullptr) return CallFailed("mkdtemp");
  std::string name = folder + "/" + kSocketName;
  return PrivatePipeName(std::move(name), std::move(folder));
}

PrivatePipeName::~PrivatePipeName() {
  if (folder_.empty()) return;
  ::unlink(name_.c_str());
  ::rmdir(folder_.c_str());
}

}  // namespace tarnix::platform
