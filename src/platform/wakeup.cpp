// The wake-up's moves and the wait-time conversion, the same on every system.
#include "platform/wakeup.h"

#include <algorithm>

namespace tarnix::platform {

Wakeup::Wakeup(Wakeup&&) noexcept = default;
Wakeup& Wakeup::operator=(Wakeup&&) noexcept = default;
Wakeup::~Wakeup() = default;

int64_t WaitMilliseconds(std::optional<std::chrono::milliseconds> timeout) {
  if (!timeout) return -1;
  // Both systems take a signed 32-bit count at most; a day is as good as forever for a re-check.
  return std::clamp<int64_t>(timeout->count(), 0, 86'400'000);
}

}  // namespace tarnix::platform
