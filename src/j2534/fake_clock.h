// A clock for tests: time moves only when the test advances it.
#pragma once

#include <atomic>
#include <chrono>

#include "j2534/connection.h"

namespace tarnix::j2534 {

class FakeClock final : public Clock {
 public:
  TimePoint Now() const override { return TimePoint(std::chrono::milliseconds(now_ms_.load())); }
  void Advance(int64_t ms) { now_ms_ += ms; }

 private:
  std::atomic<int64_t> now_ms_{1'000'000};
};

}  // namespace tarnix::j2534
