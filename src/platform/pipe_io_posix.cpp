// Both ends of the client's pipe on Linux: a connected Unix-domain stream socket.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/pipe_io.h"
#include "platform/stop_request.h"
#include "platform/system_error.h"

namespace tarnix::platform {

Result<size_t> ReadPipe(const SystemHandle& handle, char* buffer, size_t size,
                        const SystemHandle&) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle.get()), buffer, size);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno == EINTR) continue;
    // The other end vanishing mid-stream ends the stream, as a broken pipe does on Windows.
    if (errno == ECONNRESET) return size_t{0};
    return Fail(SystemErrorText());
  }
}

Result<void> WritePipe(const SystemHandle& handle, std::string_view bytes, const SystemHandle&) {
  while (!bytes.empty()) {
    // MSG_NOSIGNAL: a vanished other end is an error value, never SIGPIPE.
    const ssize_t n =
        ::send(static_cast<int>(handle.get()), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    // A stop request ends a write that a client who no longer reads would hold forever.
    if (n < 0 && errno == EINTR && StopRequest() == nullptr) continue;
    if (n < 0) return Fail(SystemErrorText());
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return Ok();
}

SystemHandle TransferEvent() {
  return SystemHandle();
}

Result<std::optional<size_t>> ReadPipeWithin(const SystemHandle& handle, char* buffer, size_t size,
                                             uint32_t timeout_ms, const SystemHandle&) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd watched{static_cast<int>(handle.get()), POLLIN, 0};
    const int ready =
        ::poll(&watched, 1, static_cast<int>(std::clamp<int64_t>(left, 0, INT32_MAX)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return Fail(SystemErrorText());
    if (ready == 0) return std::optional<size_t>();
    Result<size_t> got = ReadPipe(handle, buffer, size);
    if (!got) return std::move(got).error();
    return std::optional<size_t>(*got);
  }
}

}  // namespace tarnix::platform
