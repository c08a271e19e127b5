// Channels beyond the main one: connecting them (with their J1962 pins) and disconnecting them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "common/result.h"
#include "j2534/connection.h"

namespace tarnix::j2534 {

/// Two J1962 pin numbers, as J1962_PINS and the 05.00 RESOURCE_STRUCT take them.
using PinPair = std::array<uint32_t, 2>;

/// `pins` as a pin pair; "ERR_J2534_J1962_PINS_FAILED: j1962_pins holds 2 pins, not N" otherwise.
Result<PinPair, PassThruError> CheckPins(const wire::Bytes& pins);

/// PassThruConnect in the library's form; the 05.00 form names the J1962 connector and `pins`
/// (6 and 14 when absent). Answers the status (the channel id in `channel_id`); fails only when
/// the entry point is missing.
Result<uint32_t, PassThruError> CallConnect(const PassThruLibrary& library, bool api_0500,
                                            uint32_t device_id, uint32_t protocol_id,
                                            uint32_t flags, uint32_t baud_rate,
                                            const std::optional<PinPair>& pins,
                                            uint32_t& channel_id);

/// After PassThruConnect: in 04.04, SET_CONFIG J1962_PINS (first pin × 256 + second) on
/// `channel`; in 05.00 nothing (the pins went with the connect). A refusal fails with
/// "ERR_J2534_J1962_PINS_FAILED: error code N (NAME)" and the last-error text.
Result<void, PassThruError> SetPins(const ChannelRef& channel, const PinPair& pins);

/// What ConnectChannel connects.
struct ChannelParameters {
  uint32_t protocol_id = 0;
  uint32_t baud_rate = 0;
  uint32_t connect_flags = 0;
  std::optional<wire::Bytes> j1962_pins;
  bool buffered = true;
};

/// Connects another channel on the open device, sets its pins, and records it with the
/// connection; answers its id. Nothing else is done to it. Errors: the pins' errors (the channel
/// disconnected again), "ERR_J2534_CONNECT_FAILED: at most 16 channels can be connected at once"
/// (status ERR_EXCEEDED_LIMIT, nothing called), "ERR_J2534_CONNECT_FAILED: error code N (NAME)"
/// with the last-error text.
Result<uint32_t, PassThruError> ConnectChannel(Connection& connection,
                                               const ChannelParameters& parameters);

/// PassThruDisconnect of `channel` (and first of its dedicated 29-bit channel), which the
/// connection then forgets. A refusal fails with "ERR_J2534_DISCONNECT_FAILED: error code N
/// (NAME)" and the channel stays.
Result<void, PassThruError> DisconnectChannel(Connection& connection, Channel& channel);

/// "ERR_J2534_INVALID_CHANNEL: channel N is not connected" or, for no number, "...: no channel
/// given, and Open connected none": status ERR_INVALID_CHANNEL_ID, nothing called.
PassThruError UnknownChannelError(std::optional<uint32_t> channel_id);

}  // namespace tarnix::j2534
