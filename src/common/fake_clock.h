// Test support: a clock whose time moves only when the test advances it.
#pragma once

#include <atomic>

#include "common/clock.h"

namespace tarnix {

class FakeClock final : public Clock {
 public:
  TimePoint Now() const override { return TimePoint(Duration(ticks_.load())); }
  void Advance(Duration by) { ticks_ += by.count(); }

 private:
  // Far enough from the clock's origin that times before "now" exist.
  std::atomic<Duration::rep> ticks_{
      std::chrono::duration_cast<Duration>(std::chrono::hours(1)).count()};
};

}  // namespace tarnix
