// Periodic messages: frames the device repeats on its own at a fixed interval.
#pragma once

#include <cstdint>

#include "common/result.h"
#include "j2534/connection.h"
#include "wire/types.h"

namespace tarnix::j2534 {

/// Payload bytes of one periodic message: a single frame, so 8 on CAN-like channels.
size_t MaxPeriodicPayload(uint32_t protocol_id);

/// Starts a periodic message on the main channel and answers its id. The frame is packed as any
/// other (identifier prefix on CAN-like channels only) but holds at most one frame; TxFlags is
/// CAN_29BIT_ID when `extended`, on every protocol. `interval_ms` is the library's to check.
Result<uint32_t, PassThruError> StartPeriodic(const Port& connection, uint32_t arb_id,
                                              const wire::Bytes& data, bool extended,
                                              uint32_t interval_ms);

/// PassThruStopPeriodicMsg on the main channel.
Result<void, PassThruError> StopPeriodic(const Port& connection, uint32_t msg_id);

/// Ioctl CLEAR_PERIODIC_MSGS on the main channel.
Result<void, PassThruError> ClearPeriodic(const Port& connection);

}  // namespace tarnix::j2534
