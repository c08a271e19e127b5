// The wake-up on Linux: an eventfd, which write(2) raises from any thread or signal handler.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system_error.h"
#include "platform/wakeup.h"

namespace tarnix::platform {

Result<Wakeup> Wakeup::Create() {
  const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return Fail(SystemErrorText());
  return Wakeup(SystemHandle(fd));
}

void Wakeup::Raise() const {
  const uint64_t one = 1;
  // Only write(2), which a signal handler may call; a full counter is raised already.
  ssize_t n = 0;
  do {
    n = ::write(static_cast<int>(handle_.get()), &one, sizeof one);
  } while (n < 0 && errno == EINTR);
}

bool Wakeup::Wait(std::optional<std::chrono::milliseconds> timeout) const {
  const int fd = static_cast<int>(handle_.get());
  pollfd watched{fd, POLLIN, 0};
  int ready = 0;
  do {
    ready = ::poll(&watched, 1, static_cast<int>(WaitMilliseconds(timeout)));
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return false;
  uint64_t count = 0;
  // Non-blocking: a second waiter that took the count first leaves nothing, which is fine.
  return ::read(fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
}

}  // namespace tarnix::platform
