// One pump cycle into the receive buffer, and ReadMessages' wait for frames.
#include "worker/rx_pump.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "log/log.h"

namespace tarnix::worker {
namespace {

/// ReadMessages' own limits: 0 becomes 1, above 256 becomes 256.
size_t ClampLimit(uint32_t value) {
  return std::clamp<uint32_t>(value, 1, 256);
}

/// The read timeout for the next wait: the whole milliseconds of min(poll, remaining), at least 1.
uint32_t NextWaitMs(Milliseconds poll_interval, Clock::Duration remaining) {
  const auto remaining_ms = std::chrono::duration_cast<Milliseconds>(remaining);
  const uint64_t wait = std::min(poll_interval, remaining_ms).count();
  return static_cast<uint32_t>(std::clamp<uint64_t>(wait, 1, UINT32_MAX));
}

}  // namespace

void PumpCycle(RxBuffer& buffer, const DrainFunction& drain, uint32_t timeout_ms, bool waiting) {
  Result<void> drained = drain(timeout_ms, buffer);
  if (!drained.ok() && (timeout_ms != 0 || waiting)) {
    LogLine("[bridge-worker] RX pump error: " + drained.error().text);
  }
}

std::vector<wire::ReceivedMessage> TakeFrames(RxBuffer& buffer, const DrainFunction& drain,
                                              const protocol::ReadMessages& request,
                                              Milliseconds poll_interval, const Clock& clock,
                                              const Pause& pause) {
  const size_t limit = ClampLimit(request.batch_size) * ClampLimit(request.max_drain_reads);
  const std::optional<Clock::TimePoint> deadline =
      DeadlineAfter(clock.Now(), Milliseconds(request.timeout_ms));
  PumpCycle(buffer, drain, 0);
  if (request.timeout_ms != 0) {
    while (buffer.readable() == 0 && !ReadShouldEnd()) {
      const Clock::TimePoint current = clock.Now();
      if (deadline && current >= *deadline) break;
      const Clock::Duration remaining = deadline ? *deadline - current : Clock::Duration::max();
      pause(std::chrono::milliseconds(NextWaitMs(poll_interval, remaining)));
      PumpCycle(buffer, drain, 0, true);
    }
  }
  return buffer.Take(limit);
}

}  // namespace tarnix::worker
