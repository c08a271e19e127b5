// The client end on Linux: connect to the bridge's socket path, retrying until it listens.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "platform/pipe_client.h"
#include "platform/process.h"
#include "platform/system_error.h"

namespace tarnix::platform {
namespace {
constexpr intptr_t kNone = -1;
}  // namespace

PipeClient::PipeClient(PipeClient&& other) noexcept
    : handle_(other.handle_), pending_(std::move(other.pending_)) {
  other.handle_ = kNone;
}

PipeClient& PipeClient::operator=(PipeClient&& other) noexcept {
  PipeClient taken(std::move(other));
  std::swap(handle_, taken.handle_);
  std::swap(pending_, taken.pending_);
  return *this;
}

PipeClient::~PipeClient() {
  Close();
}

Result<PipeClient> PipeClient::Connect(const std::string& name, uint32_t timeout_ms) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (name.size() >= sizeof address.sun_path) return Fail("socket path too long");
  std::memcpy(address.sun_path, name.data(), name.size());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Fail(SystemErrorText(LastSystemError()));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return PipeClient(fd);
    }
    const uint32_t code = LastSystemError();
    ::close(fd);
    if (std::chrono::steady_clock::now() >= deadline) return Fail(SystemErrorText(code));
    SleepMilliseconds(10);
  }
}

Result<void> PipeClient::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(static_cast<int>(handle_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(SystemErrorText(LastSystemError()));
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return Ok();
}

Result<std::optional<std::string>> PipeClient::ReadLine() {
  for (;;) {
    if (const size_t lf = pending_.find('\n'); lf != std::string::npos) {
      std::string line = pending_.substr(0, lf);
      pending_.erase(0, lf + 1);
      return std::optional<std::string>(std::move(line));
    }
    char buffer[4096];
    const ssize_t n = ::read(static_cast<int>(handle_), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(SystemErrorText(LastSystemError()));
    if (n == 0) return std::optional<std::string>();
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

void PipeClient::Close() {
  if (handle_ != kNone) {
    ::close(static_cast<int>(handle_));
    handle_ = kNone;
  }
}

bool PipeClient::CloseWrite() {
  return handle_ != kNone && ::shutdown(static_cast<int>(handle_), SHUT_WR) == 0;
}

std::string UniquePipeName(std::string_view tag) {
  const auto dir = std::filesystem::temp_directory_path();
  return (dir / ("tarnix-" + std::to_string(CurrentProcessId()) + "-" + std::string(tag) + ".sock"))
      .string();
}

}  // namespace tarnix::platform
