// The values that request parameters hold beyond numbers, texts and flags: frames, records,
// parameter lists and the named choices.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/payloads.h"

namespace tarnix::protocol {

using Bytes = std::vector<uint8_t>;

/// One frame to transmit, as written in SendMessagesBatch and WriteMessagesRaw.
struct BatchMessage {
  uint32_t arb_id = 0;
  Bytes data;
  bool extended = false;
  bool operator==(const BatchMessage&) const = default;
};

/// A whole J2534 message record as a request gives it: every member but the data may be left
/// out, and the protocol then comes from the channel the request names.
struct RecordParam {
  std::optional<uint32_t> protocol_id;
  uint32_t rx_status = 0;
  uint32_t tx_flags = 0;
  uint32_t timestamp = 0;
  uint32_t extra_data_index = 0;
  Bytes data;
  bool operator==(const RecordParam&) const = default;
};

/// How KlineInit wakes the ECU.
enum class KlineInitMode : uint8_t { Fast, Slow, Auto };

/// Which of a channel's device queues ClearBuffers clears: both unless one is named.
enum class BufferChoice : uint8_t { Tx, Rx };

/// What an ioctl writes through its output pointer.
enum class IoctlOutput : uint8_t { None, Number, Bytes, Parameters, Record };

/// PassThruSetProgrammingVoltage's two voltages that are no voltage.
inline constexpr uint32_t kVoltageOff = 0xFFFFFFFF;
inline constexpr uint32_t kShortToGround = 0xFFFFFFFE;

}  // namespace tarnix::protocol
