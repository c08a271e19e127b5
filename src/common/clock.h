// The monotonic time source that every wait and every age is measured with, replaceable in tests.
#pragma once

#include <chrono>

namespace tarnix {

/// A monotonic clock. Its time points are the steady clock's, so that they can bound real waits.
class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using Duration = std::chrono::steady_clock::duration;
  virtual ~Clock() = default;
  virtual TimePoint Now() const = 0;
};

/// The process's steady clock.
const Clock& SteadyClock();

}  // namespace tarnix
