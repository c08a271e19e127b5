// The process's steady clock behind the Clock seam.
#include "common/clock.h"

namespace tarnix {
namespace {

class SystemSteadyClock final : public Clock {
 public:
  TimePoint Now() const override { return std::chrono::steady_clock::now(); }
};

}  // namespace

const Clock& SteadyClock() {
  static const SystemSteadyClock clock;
  return clock;
}

}  // namespace tarnix
