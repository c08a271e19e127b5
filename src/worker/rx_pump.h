// The receive pump's two algorithms, independent of the device: one pump cycle, and the
// waiting and taking of ReadMessages.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "common/clock.h"
#include "common/result.h"
#include "protocol/request.h"
#include "wire/types.h"
#include "worker/rx_buffer.h"
#include "worker/worker.h"

namespace tarnix::worker {

/// Reads what the device has, waiting up to `timeout_ms` for the first record, and pushes the
/// frames into `buffer` in order, echoes marked; or answers the error text, having pushed nothing.
using DrainFunction = std::function<Result<void>(uint32_t timeout_ms, RxBuffer& buffer)>;

/// One pump cycle: drains the device into `buffer`. A failure is logged only when `timeout_ms` is
/// not 0 or `waiting` (a ReadMessages waits for it); the idle pump retries silently.
void PumpCycle(RxBuffer& buffer, const DrainFunction& drain, uint32_t timeout_ms,
               bool waiting = false);

/// Waits up to the duration given between two reads of a waiting ReadMessages; it may return
/// early (the worker's own pause returns once ReadShouldEnd).
using Pause = std::function<void(Clock::Duration)>;

/// Answers ReadMessages from `buffer`: one pump cycle, then, while the buffer holds no frame that
/// is no echo, the
/// request's timeout has not passed on `clock` and the wait may go on (ReadShouldEnd: the worker
/// is not released and the client's next request has not begun to arrive), a `pause` of at most
/// `poll_interval` (at least 1 ms) and another cycle. Every cycle reads with a 0 ms timeout, so
/// that the wait, which is the bridge's own, ends as soon as it should rather than when a library
/// call returns. Takes at most batch_size x max_drain_reads frames (each clamped to 1..256),
/// oldest first, as RxBuffer::Take does. Never fails: read errors were logged by the pump.
std::vector<wire::ReceivedMessage> TakeFrames(RxBuffer& buffer, const DrainFunction& drain,
                                              const protocol::ReadMessages& request,
                                              Milliseconds poll_interval, const Clock& clock,
                                              const Pause& pause);

}  // namespace tarnix::worker
