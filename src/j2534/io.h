// Frames through a connection: writing, draining with the echoes marked, and the direct reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "common/result.h"
#include "j2534/connection.h"
#include "wire/types.h"

namespace tarnix::j2534 {

using Messages = std::vector<wire::ReceivedMessage>;

/// The most frames one write call carries. A larger batch is written as consecutive calls of at
/// most this many frames, so that the records packed at once stay bounded (4 MB in 04.04 form).
inline constexpr size_t kWriteChunkFrames = 1024;

/// Calls the channel's write entry point with `count` of `records`: PassThruWriteMsgs in 04.04;
/// in 05.00 PassThruQueueMsgs (which takes no timeout) or else PassThruWriteMsgs. Answers the
/// status; `count` becomes what the library reported sent.
Result<uint32_t, PassThruError> CallWrite(const Port& connection, MessageArray& records,
                                          uint32_t& count, uint32_t timeout_ms);

/// The write timeout of a call carrying `count` frames: 10 ms per frame, never less than 5000 ms.
uint32_t BatchTimeoutMs(size_t count);

/// Sends one frame (timeout 1000 ms) and records it in the echo list. A payload that does not fit
/// the protocol is refused with the MSG_TOO_LONG text and nothing is sent; a refused write fails
/// with "ERR_J2534_WRITE_FAILED: error code N [NAME]".
Result<void, PassThruError> SendOne(const Port& connection, uint32_t arb_id,
                                    const wire::Bytes& data, bool extended);

/// Sends the frames and answers the number the library reports sent. Every element is checked
/// before anything is sent (the MSG_TOO_LONG text then names "messages[i]"). An empty list sends
/// nothing and answers 0. Up to kWriteChunkFrames frames go in one write call; a larger batch in
/// consecutive calls of that many (the last one shorter), each with the timeout of its own frame
/// count, stopping after the first call that fails or reports fewer frames sent than it carried.
/// The count answered (and the "sent n/total" of the WRITE_FAILED text) adds up what every call
/// reported. Each successful call's frames are recorded in the echo list right after it; a
/// failing call's are not.
Result<uint32_t, PassThruError> SendBatch(const Port& connection,
                                          const std::vector<wire::BatchMessage>& messages);

/// As SendBatch with the caller's timeout for every call; the status of the call that stopped the
/// batch (0 when none failed) is answered as data with the count of all calls, and every frame
/// reported sent is recorded in the echo list whatever the status. Fails only when a frame does
/// not fit or the write entry point is missing.
Result<wire::RawResult, PassThruError> SendRaw(const Port& connection,
                                               const std::vector<wire::BatchMessage>& messages,
                                               uint32_t timeout_ms);

/// Where a drain delivers the frames it keeps, in order, each moved in once.
class FrameSink {
 public:
  virtual void Put(wire::ReceivedMessage&& frame) = 0;

 protected:
  ~FrameSink() = default;
};

/// Reads what the device holds into `sink`: up to `max_calls` reads of `frames_per_call` records
/// (each 1 to 256) on the main channel, `timeout_ms` for the first only, then the dedicated 29-bit
/// channel with timeout 0. Transmit echoes (TX_MSG_TYPE) and, on CAN-like channels, frames that
/// cancel an entry of the echo list reach the sink marked as echoes. Only a failure of the first
/// read of the main channel is an error (READ_FAILED); nothing has reached the sink then.
Result<void, PassThruError> Drain(const Port& connection, uint32_t timeout_ms,
                                  uint32_t frames_per_call, uint32_t max_calls, FrameSink& sink);

/// The same, gathering the frames that are no echoes in a list.
Result<Messages, PassThruError> Drain(const Port& connection, uint32_t timeout_ms,
                                      uint32_t frames_per_call, uint32_t max_calls);

/// The most records ReadWithEcho reads at once.
inline constexpr uint32_t kReadWithEchoFrames = 16;

/// One read of up to `max_frames` records (1 to kReadWithEchoFrames) on the main channel,
/// transmit echoes included, no echo suppression (and none marked).
Result<Messages, PassThruError> ReadWithEcho(const Port& connection, uint32_t timeout_ms,
                                             uint32_t max_frames = kReadWithEchoFrames);

/// How a read that waits is cut into library calls so that it can end early: each call waits at
/// most `slice_ms` (at least 1), and `should_end` is asked between calls.
struct ReadSlices {
  uint32_t slice_ms = 1;
  std::function<bool()> should_end;
};

/// A read of `max_frames` records (1 to 64) on the main channel whose contents are discarded; the
/// status and count are answered as the library gave them. Without `slices`, one call waits up to
/// `timeout_ms`. With them, a timeout beyond 0 is spread over calls of at most one slice each,
/// each for the records still missing, until all arrived, the library answered anything but a
/// normal read status, the timeout passed on the connection's clock or `should_end` answered
/// true: the count is then the sum, the status the last call's.
Result<wire::RawResult, PassThruError> ReadRaw(const Port& connection, uint32_t max_frames,
                                               uint32_t timeout_ms,
                                               const ReadSlices* slices = nullptr);

}  // namespace tarnix::j2534
