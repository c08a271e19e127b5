// Frames through a connection: writing, draining with echo suppression, and the direct reads.
#pragma once

#include <cstdint>
#include <vector>

#include "common/result.h"
#include "j2534/connection.h"
#include "protocol/payloads.h"
#include "protocol/request.h"

namespace tarnix::j2534 {

using Messages = std::vector<protocol::ReceivedMessage>;

/// The write timeout of a batch: 10 ms per frame, never less than 5000 ms.
uint32_t BatchTimeoutMs(size_t count);

/// Sends one frame (timeout 1000 ms) and records it in the echo list. A payload that does not fit
/// the protocol is refused with the MSG_TOO_LONG text and nothing is sent; a refused write fails
/// with "ERR_J2534_WRITE_FAILED: error code N [NAME]".
Result<void, PassThruError> SendOne(Connection& connection, uint32_t arb_id, const Bytes& data,
                                    bool extended);

/// Sends the frames in one write call and answers the number the library reports sent, after
/// recording that many in the echo list. Every element is checked before anything is sent (the
/// MSG_TOO_LONG text then names "messages[i]"). An empty list sends nothing and answers 0.
Result<uint32_t, PassThruError> SendBatch(Connection& connection,
                                          const std::vector<protocol::BatchMessage>& messages);

/// As SendBatch with the caller's timeout; the library's status is answered as data, and the
/// frames reported sent are recorded in the echo list whatever the status. Fails only when a
/// frame does not fit or the write entry point is missing.
Result<protocol::RawResult, PassThruError> SendRaw(
    Connection& connection, const std::vector<protocol::BatchMessage>& messages,
    uint32_t timeout_ms);

/// Reads what the device holds: up to `max_calls` reads of `frames_per_call` records (each 1 to
/// 256) on the main channel, `timeout_ms` for the first only, then the dedicated 29-bit channel
/// with timeout 0. Transmit echoes and frames matching the echo list (CAN-like channels) are
/// dropped. Only a failure of the first read of the main channel is an error (READ_FAILED).
Result<Messages, PassThruError> Drain(Connection& connection, uint32_t timeout_ms,
                                      uint32_t frames_per_call, uint32_t max_calls);

/// One read of up to 16 records on the main channel, transmit echoes included, no echo
/// suppression.
Result<Messages, PassThruError> ReadWithEcho(const Connection& connection, uint32_t timeout_ms);

/// One read of `max_frames` records (1 to 64) on the main channel whose contents are discarded;
/// the status and count are answered as the library gave them.
Result<protocol::RawResult, PassThruError> ReadRaw(const Connection& connection,
                                                   uint32_t max_frames, uint32_t timeout_ms);

}  // namespace tarnix::j2534
